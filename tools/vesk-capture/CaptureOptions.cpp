#include "CaptureOptions.h"

#include <set>

#include "ToolError.h"
#include "ToolText.h"

namespace vcap {
namespace {

using vtool::Fail;

const char16_t* const kCount = u"--count";
const char16_t* const kContinuous = u"--continuous";
const char16_t* const kOut = u"--out";
const char16_t* const kFormat = u"--format";
const char16_t* const kPriority = u"--priority";
const char16_t* const kTimeout = u"--timeout";

// Digits only, so that "-1", "+2" and "1e3" are refused rather than guessed at.
uint32_t _Number(const std::u16string& sName, const std::u16string& sText, uint32_t nMin,
                 uint32_t nMax)
{
    uint64_t nValue = 0;
    bool bValid = !sText.empty() && sText.size() <= 10;
    for (const char16_t c : sText) {
        bValid = bValid && c >= u'0' && c <= u'9';
        nValue = nValue * 10 + static_cast<uint64_t>(c - u'0');
    }
    if (!bValid || nValue < nMin || nValue > nMax)
        Fail(u"option '" + sName + u"' needs a whole number from " + vtool::Decimal(nMin) +
             u" to " + vtool::Decimal(nMax) + u", not '" + sText + u"'.");
    return static_cast<uint32_t>(nValue);
}

EImageFormat _Format(const std::u16string& sText)
{
    if (vtool::EqualsNoCase(sText, u"bmp"))
        return EImageFormat::Bmp;
    if (vtool::EqualsNoCase(sText, u"pgm"))
        return EImageFormat::Pgm;
    Fail(u"unknown format '" + sText + u"' (bmp or pgm).");
}

std::u16string _Folder(const std::u16string& sText)
{
    if (sText.empty())
        Fail(u"the folder of --out must not be empty.");
    return sText;
}

void _Apply(CCaptureSettings& settings, const std::u16string& sName, const std::u16string& sValue)
{
    if (sName == kCount)
        settings.m_nCount = _Number(sName, sValue, 1, 1000000);
    else if (sName == kOut)
        settings.m_sOutDir = _Folder(sValue);
    else if (sName == kFormat)
        settings.m_eFormat = _Format(sValue);
    else if (sName == kPriority)
        settings.m_nPriority = _Number(sName, sValue, 0, 2);
    else if (sName == kTimeout)
        settings.m_nTimeoutSeconds = _Number(sName, sValue, 1, 86400);
}

}  // namespace

CCaptureSettings ParseCaptureOptions(const std::vector<std::u16string>& args)
{
    CCaptureSettings settings;
    std::set<std::u16string> seen;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::u16string& sArgument = args[i];
        if (sArgument.size() < 2 || sArgument[0] != u'-')
            Fail(u"unexpected argument '" + sArgument + u"'.");
        const size_t nEquals = sArgument.find(u'=');
        const std::u16string sName = sArgument.substr(0, nEquals);
        const bool bKnown = sName == kCount || sName == kContinuous || sName == kOut ||
                            sName == kFormat || sName == kPriority || sName == kTimeout;
        if (!bKnown)
            Fail(u"unknown option '" + sName + u"' for capture.");
        if (!seen.insert(sName).second)
            Fail(u"option '" + sName + u"' is given twice.");
        if (sName == kContinuous) {
            if (nEquals != std::u16string::npos)
                Fail(u"option '" + sName + u"' takes no value.");
            settings.m_nCount = 0;
            continue;
        }
        if (nEquals == std::u16string::npos && i + 1 >= args.size())
            Fail(u"option '" + sName + u"' needs a value.");
        const std::u16string sValue =
            nEquals != std::u16string::npos ? sArgument.substr(nEquals + 1) : args[++i];
        _Apply(settings, sName, sValue);
    }
    if (seen.count(kCount) && seen.count(kContinuous))
        Fail(u"--count and --continuous exclude each other.");
    return settings;
}

}  // namespace vcap
