#include "ClientOptions.h"

#include "COptions.h"
#include "ToolError.h"
#include "ToolText.h"

namespace vrdpc {
namespace {

using vtool::Fail;

const char16_t* const kSocket = u"--socket";
const char16_t* const kSeconds = u"--seconds";
constexpr uint32_t kMaxSeconds = 7 * 24 * 3600;

// Digits only, so that "-1", "+2" and "1e3" are refused rather than guessed at.
uint32_t Seconds(const std::u16string& sText)
{
    uint64_t nValue = 0;
    bool bValid = !sText.empty() && sText.size() <= 10;
    for (const char16_t c : sText) {
        bValid = bValid && c >= u'0' && c <= u'9';
        nValue = nValue * 10 + static_cast<uint64_t>(c - u'0');
    }
    if (!bValid || nValue < 1 || nValue > kMaxSeconds)
        Fail(u"option '--seconds' needs a whole number from 1 to " + vtool::Decimal(kMaxSeconds) +
             u", not '" + sText + u"'.");
    return static_cast<uint32_t>(nValue);
}

}  // namespace

SClientSettings ParseClientOptions(const std::vector<std::u16string>& args)
{
    const vtool::COptions options(args, {{kSocket, true}, {kSeconds, true}}, u"vesk-rdp-client");
    options.RejectPlain();
    SClientSettings settings;
    if (!options.Has(kSocket) || options.Value(kSocket).empty())
        Fail(u"missing --socket PATH, the socket the session connects to.");
    settings.m_sSocket = vtool::ToUtf8(options.Value(kSocket));
    if (options.Has(kSeconds))
        settings.m_nSeconds = Seconds(options.Value(kSeconds));
    return settings;
}

}  // namespace vrdpc
