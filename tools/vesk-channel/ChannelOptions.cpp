#include "ChannelOptions.h"

#include <cstdint>
#include <filesystem>

#include "COptions.h"
#include "ToolError.h"
#include "ToolText.h"
#include "channel/CVCData.h"
#include "sim/common/SimText.h"

namespace vchan {
namespace {

using vtool::Fail;

const char16_t* const kHex = u"--hex";
const char16_t* const kImage = u"--image";
const char16_t* const kCmd = u"--cmd";
const char16_t* const kPid = u"--pid";
const char16_t* const kSeed = u"--seed";

// The one plain argument: the message's file.
std::u16string _OnlyFile(const vtool::COptions& options, const char16_t* pszWhat)
{
    const std::vector<std::u16string>& plain = options.Plain();
    if (plain.empty())
        Fail(std::u16string(u"missing ") + pszWhat + u" ('-' for the standard stream).");
    if (plain.size() > 1)
        Fail(u"unexpected argument '" + plain[1] + u"'.");
    return plain[0];
}

std::u16string _FileValue(const vtool::COptions& options, const char16_t* pszName)
{
    const std::u16string sValue = options.Value(pszName);
    if (sValue.empty())
        Fail(u"option '" + std::u16string(pszName) + u"' needs a file name.");
    return sValue;
}

EImageFile _ImageFileOf(const std::u16string& sPath)
{
    const std::u16string sExtension = std::filesystem::path(sPath).extension().u16string();
    if (vtool::EqualsNoCase(sExtension, u".pgm"))
        return EImageFile::Pgm;
    if (vtool::EqualsNoCase(sExtension, u".bmp"))
        return EImageFile::Bmp;
    Fail(u"'" + sPath + u"': --image writes a .pgm or a .bmp file, chosen by the extension.");
}

uint32_t _Number(const vtool::COptions& options, const char16_t* pszName, uint32_t nMin)
{
    const std::u16string sText = options.Value(pszName);
    uint32_t nValue = 0;
    if (!vsim::ParseNumber(vtool::ToUtf8(sText), UINT32_MAX, nValue) || nValue < nMin)
        Fail(u"option '" + std::u16string(pszName) + u"' needs a number from " +
             vtool::Decimal(nMin) + u" to 4294967295 (decimal or 0x hex), not '" + sText + u"'.");
    return nValue;
}

void _CheckCommand(CSealSettings& settings, bool bCmdGiven)
{
    const bool bImage = !settings.m_sImage.empty();
    if (!bCmdGiven && !bImage)
        Fail(u"seal needs --cmd CODE, or --image FILE for an image event.");
    if (!bCmdGiven)
        settings.m_nCmd = VC_IMAGE_EVENT;
    if (bImage && settings.m_nCmd != VC_IMAGE_EVENT)
        Fail(u"--image makes an image event (5501); command " + vtool::Decimal(settings.m_nCmd) +
             u" carries no image.");
    if (!bImage && settings.m_nCmd == VC_IMAGE_EVENT)
        Fail(u"command 5501 is the image event: give its picture with --image FILE.");
}

}  // namespace

COpenSettings ParseOpenOptions(const std::vector<std::u16string>& args)
{
    const vtool::COptions options(args, {{kHex, false}, {kImage, true}}, u"open");
    COpenSettings settings;
    settings.m_sInput = _OnlyFile(options, u"FILE");
    settings.m_bHex = options.Has(kHex);
    if (options.Has(kImage)) {
        settings.m_sImage = _FileValue(options, kImage);
        settings.m_eImageFile = _ImageFileOf(settings.m_sImage);
    }
    return settings;
}

CSealSettings ParseSealOptions(const std::vector<std::u16string>& args)
{
    const vtool::COptions options(
        args, {{kCmd, true}, {kPid, true}, {kImage, true}, {kSeed, true}, {kHex, false}}, u"seal");
    CSealSettings settings;
    settings.m_sOutput = _OnlyFile(options, u"OUT");
    settings.m_bHex = options.Has(kHex);
    if (!options.Has(kPid))
        Fail(u"seal needs --pid PID, the calling process ID.");
    // The receiver refuses a zero command or process ID: neither is sealed.
    settings.m_nPid = _Number(options, kPid, 1);
    if (options.Has(kCmd))
        settings.m_nCmd = _Number(options, kCmd, 1);
    if (options.Has(kImage))
        settings.m_sImage = _FileValue(options, kImage);
    _CheckCommand(settings, options.Has(kCmd));
    settings.m_bFixedSeed = options.Has(kSeed);
    if (settings.m_bFixedSeed)
        settings.m_nSeed = _Number(options, kSeed, 0);
    return settings;
}

}  // namespace vchan
