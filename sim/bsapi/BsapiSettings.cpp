#include "sim/bsapi/BsapiSettings.h"

#include "sim/common/CRegValues.h"
#include "sim/common/SimText.h"

namespace vsim::bsapi {
namespace {

const CScriptCall kCalls[] = {
    {kCallEnumerate, "enumerate", 0xFFFFFFFF, 0}, {kCallOpen, "open", 0xFFFFFFFF, 0},
    {kCallProperty, "property", 0xFFFFFFFF, 0},   {kCallGrab, "grab", 0xFFFFFFFF, 0},
    {kCallCancel, "cancel", 0xFFFFFFFF, 0},       {kCallClose, "close", 0xFFFFFFFF, 0},
};
const CScriptGrammar kGrammar = {kCalls, sizeof kCalls / sizeof kCalls[0], kCallGrab};

const char* const kFaultNames[kFaultCount] = {"none", "list-count", "short-property",
                                              "huge-image", "empty-image"};

}  // namespace

const char* FaultName(uint32_t nFault) { return nFault < kFaultCount ? kFaultNames[nFault] : "none"; }

bool ParseFault(const std::string& sName, uint32_t& nFault)
{
    for (uint32_t i = 0; i < kFaultCount; ++i) {
        if (sName == kFaultNames[i]) {
            nFault = i;
            return true;
        }
    }
    return false;
}

const CScriptGrammar& ScriptGrammar() { return kGrammar; }

bool ParseScriptEntry(const std::string& sText, CScriptEntry& entry, std::string& why)
{
    return vsim::ParseScriptEntry(kGrammar, sText, entry, why);
}

std::string FormatScriptEntry(const CScriptEntry& entry)
{
    return vsim::FormatScriptEntry(kGrammar, entry);
}

CSettings ReadSettings()
{
    const CRegValues key(HKEY_LOCAL_MACHINE, SimulatorKeyPath(kFamily), false);
    CSettings settings;
    if (!key.IsOpen())
        return settings;
    settings.m_nDevices = key.ReadDword(kDevices).value_or(kDefaultDevices);
    settings.m_nDeviceVersion = key.ReadDword(kDeviceVersion).value_or(kDefaultDeviceVersion);
    settings.m_nWidth = key.ReadDword(kWidth).value_or(kDefaultWidth);
    settings.m_nHeight = key.ReadDword(kHeight).value_or(kDefaultHeight);
    settings.m_nSeed = key.ReadDword(kSeed).value_or(kDefaultSeed);
    settings.m_sImageFile = key.ReadString(kImageFile).value_or(WString());
    settings.m_nFingerDelayMs = key.ReadDword(kFingerDelayMs).value_or(kDefaultFingerDelayMs);
    settings.m_bSuspended = key.ReadDword(kSuspended).value_or(0) != 0;
    if (!ParseFault(Utf8FromWide(key.ReadString(kFault).value_or(WString())), settings.m_nFault))
        settings.m_nFault = kFaultNone;
    settings.m_vScript = key.ReadMultiString(kScript).value_or(std::vector<WString>());
    return settings;
}

std::string DsnOf(uint32_t nIndex) { return "usb,#" + std::to_string(nIndex + 1); }

}  // namespace vsim::bsapi
