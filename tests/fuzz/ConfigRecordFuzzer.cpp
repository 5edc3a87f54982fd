// CDiagnosticsConfig::Parse on any stored "Configuration" value. A refused
// record must leave logging off; an accepted one must mean the same settings
// once rebuilt and parsed again.
#include <cstddef>
#include <cstdint>

#include "FuzzKit.h"
#include "support/CDiagnosticsConfig.h"

using fuzzkit::Require;

namespace {

bool SameSettings(const CDiagnosticsConfig& a, const CDiagnosticsConfig& b)
{
    return a.IsLogOn() == b.IsLogOn() && a.GetLogLevel() == b.GetLogLevel() &&
           a.GetLogFolder() == b.GetLogFolder() && a.IsAuxiliaryOn() == b.IsAuxiliaryOn() &&
           a.GetAuxiliaryMode() == b.GetAuxiliaryMode() &&
           a.GetAuxiliaryFolder() == b.GetAuxiliaryFolder();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    CDiagnosticsConfig config;
    if (!config.Parse(fuzzkit::Bytes(pData, nSize))) {
        Require(SameSettings(config, CDiagnosticsConfig()));
        return 0;
    }
    config.Validate();
    const CMyByteArray rebuilt = CDiagnosticsConfig::BuildRecord(
        config.IsAuxiliaryOn(), config.GetAuxiliaryMode(), config.GetAuxiliaryFolder(),
        config.IsLogOn(), config.GetLogLevel(), config.GetLogFolder());
    CDiagnosticsConfig again;
    Require(again.Parse(rebuilt));
    Require(SameSettings(config, again));
    return 0;
}
