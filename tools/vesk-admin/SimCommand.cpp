// vesk-admin sim: drive the simulated scanners through their machine-wide
// control values, so that every process using them sees the change.
#include <string>
#include <vector>

#include "CSettingsKey.h"
#include "CToolError.h"
#include "Commands.h"
#include "DiagnosticsStore.h"
#include "Platform.h"
#include "Text.h"
#include "drivers/VeskBit2.h"
#include "sim/common/CRegValues.h"
#include "sim/common/GreyImageReader.h"
#include "sim/common/SimText.h"
#include "sim/veskbit2/VeskBitSettings.h"

namespace vadmin {
namespace {

namespace vb = vsim::veskbit;
using Args = std::vector<std::u16string>;

const CSettingsKey& _Key()
{
    static const CSettingsKey key(HKEY_LOCAL_MACHINE, vsim::SimulatorKeyPath(vb::kFamily));
    return key;
}

void _Say(const std::u16string& sWhat) { WriteOut(u"veskbit simulator: " + sWhat + u"\n"); }

const std::u16string& _One(const Args& args, const char16_t* pszWhat)
{
    if (args.empty())
        Fail(std::u16string(u"missing ") + pszWhat + u".");
    if (args.size() > 1)
        Fail(u"unexpected argument '" + args[1] + u"'.");
    return args[0];
}

uint32_t _Number(const std::u16string& sText, const char16_t* pszWhat)
{
    uint32_t nValue = 0;
    if (!vsim::ParseNumber(ToUtf8(sText), 0xFFFFFFFF, nValue))
        Fail(u"'" + sText + u"' is not a " + pszWhat +
             u" (0-4294967295, decimal or 0x hexadecimal).");
    return nValue;
}

void _NoArguments(const Args& args)
{
    if (!args.empty())
        Fail(u"unexpected argument '" + args[0] + u"'.");
}

// Relative paths would resolve in every capturing process's own folder.
bool _IsFullPath(const std::u16string& sPath)
{
    if (!sPath.empty() && (sPath[0] == u'/' || sPath[0] == u'\\'))
        return true;
    return sPath.size() > 2 && sPath[1] == u':' && (sPath[2] == u'\\' || sPath[2] == u'/');
}

int _Attach(bool bAttached, const Args& args)
{
    _NoArguments(args);
    _Key().WriteDword(vb::kAttached, bAttached ? 1 : 0);
    _Say(bAttached ? u"scanner attached." : u"scanner detached.");
    return 0;
}

int _Image(const Args& args)
{
    const std::u16string& sPath = _One(args, u"image file");
    if (!_IsFullPath(sPath))
        Fail(u"give the image file's full path, not '" + sPath + u"'.");
    vsim::CGreyImage image;
    std::string why;
    if (!vsim::ReadGreyImageFile(ToWide(sPath), image, why))
        Fail(u"the image file is refused: " + FromUtf8(why) + u".");
    _Key().WriteString(vb::kImageFile, ToWide(sPath));
    _Say(u"images from " + sPath + u" (" + Decimal(image.GetWidth()) + u" x " +
         Decimal(image.GetHeight()) + u" pixels, centred in " + Decimal(kVeskBitWidth) + u" x " +
         Decimal(kVeskBitHeight) + u").");
    return 0;
}

int _Seed(const Args& args)
{
    const uint32_t nSeed = _Number(_One(args, u"seed"), u"seed");
    _Key().WriteDword(vb::kSeed, nSeed);
    _Key().Delete({vb::kImageFile});
    _Say(u"images generated from seed " + Decimal(nSeed) + u".");
    return 0;
}

std::u16string _Delay(uint32_t nDelay)
{
    if (nDelay == vb::kFingerNever)
        return u"never";
    return Decimal(nDelay) + u" ms after an attempt's first poll";
}

int _SetDelay(const Args& args)
{
    const std::u16string& sText = _One(args, u"delay");
    const uint32_t nDelay = EqualsNoCase(sText, u"never") ? vb::kFingerNever
                                                         : _Number(sText, u"delay in ms");
    _Key().WriteDword(vb::kFingerDelayMs, nDelay);
    _Say(nDelay == vb::kFingerNever ? std::u16string(u"the finger never arrives.")
                                    : u"the finger arrives " + _Delay(nDelay) + u".");
    return 0;
}

int _Script(const Args& args)
{
    std::vector<WString> entries;
    std::u16string sShown;
    for (const std::u16string& sText : args) {
        vb::CScriptEntry entry;
        std::string why;
        if (!vb::ParseScriptEntry(ToUtf8(sText), entry, why))
            Fail(u"bad script entry " + FromUtf8(why) + u".");
        const std::string sCanonical = vb::FormatScriptEntry(entry);
        entries.push_back(ToWide(FromUtf8(sCanonical)));
        sShown += u" " + FromUtf8(sCanonical);
    }
    if (entries.empty()) {
        _Key().Delete({vb::kScript});
        _Say(u"script cleared.");
        return 0;
    }
    _Key().WriteMultiString(vb::kScript, entries);
    _Say(u"script set:" + sShown + u".");
    return 0;
}

int _Reset(const Args& args)
{
    _NoArguments(args);
    _Key().Delete({vb::kAttached, vb::kSeed, vb::kImageFile, vb::kFingerDelayMs, vb::kScript});
    _Say(u"settings removed: attached, generated images from seed " +
         Decimal(vb::kDefaultSeed) + u", finger " + _Delay(vb::kDefaultFingerDelayMs) +
         u", no script.");
    return 0;
}

// A number, or the default with a note when the stored value is not one.
uint32_t _ShownDword(const WString& sName, uint32_t nDefault, std::u16string& sNote)
{
    const CRawValue value = _Key().Read(sName);
    if (value.IsDword())
        return value.Dword();
    if (value.m_bPresent)
        sNote += u"ignored " + FromWide(sName) + u": " + NotDwordReason(value) + u"\n";
    return nDefault;
}

int _Show(const Args& args)
{
    _NoArguments(args);
    std::u16string sNote;
    const bool bAttached = _ShownDword(vb::kAttached, 1, sNote) != 0;
    const uint32_t nSeed = _ShownDword(vb::kSeed, vb::kDefaultSeed, sNote);
    const uint32_t nDelay = _ShownDword(vb::kFingerDelayMs, vb::kDefaultFingerDelayMs, sNote);
    const vsim::CRegValues key(HKEY_LOCAL_MACHINE, vsim::SimulatorKeyPath(vb::kFamily), false);
    const WString sFile = key.ReadString(vb::kImageFile).value_or(WString());
    std::u16string sScript;
    for (const WString& sEntry : key.ReadMultiString(vb::kScript).value_or(std::vector<WString>()))
        sScript += u" " + FromWide(sEntry);
    WriteOut(u"veskbit simulator (" + _Key().KeyPath() + u"):\n" +
             u"scanner: " + (bAttached ? u"attached" : u"detached") + u"\n" +
             u"images: " +
             (sFile.empty() ? u"generated from seed " + Decimal(nSeed) : FromWide(sFile)) +
             u"\nfinger: " + _Delay(nDelay) + u"\n" +
             u"script:" + (sScript.empty() ? u" (empty)" : sScript) + u"\n" + sNote);
    return 0;
}

struct CAction {
    const char16_t* m_pszName;
    int (*m_pfnRun)(const Args& args);
};

const CAction kActions[] = {
    {u"attach", [](const Args& args) { return _Attach(true, args); }},
    {u"detach", [](const Args& args) { return _Attach(false, args); }},
    {u"image", _Image},
    {u"seed", _Seed},
    {u"delay", _SetDelay},
    {u"script", _Script},
    {u"reset", _Reset},
};

int _Run(const Args& args)
{
    if (args.empty())
        Fail(u"missing simulator name (veskbit).");
    if (!EqualsNoCase(args[0], u"veskbit"))
        Fail(u"unknown simulator '" + args[0] + u"' (veskbit).");
    if (args.size() == 1)
        return _Show({});
    const Args rest(args.begin() + 2, args.end());
    for (const CAction& action : kActions) {
        if (EqualsNoCase(args[1], action.m_pszName))
            return action.m_pfnRun(rest);
    }
    Fail(u"unknown action '" + args[1] +
         u"' (attach, detach, image, seed, delay, script or reset).");
}

}  // namespace

const CCommand kSimCommand = {
    u"sim",
    u"show or drive the simulated scanners (attached, images, delays, scripts)",
    u"vesk-admin sim: the simulated scanner libraries' machine-wide settings,\n"
    u"kept under HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\Simulator\\<name> (64-bit view).\n"
    u"\n"
    u"  vesk-admin sim veskbit                   show the settings\n"
    u"  vesk-admin sim veskbit attach|detach     plug the scanner in or out\n"
    u"  vesk-admin sim veskbit image FILE        serve FILE (PGM or 8-bit BMP)\n"
    u"  vesk-admin sim veskbit seed N            generate fingers from seed N\n"
    u"  vesk-admin sim veskbit delay MS|never    when the finger arrives\n"
    u"  vesk-admin sim veskbit script [ENTRY...] the next answers (none: clear)\n"
    u"  vesk-admin sim veskbit reset             remove every setting\n"
    u"\n"
    u"FILE   a full path; a picture is centred in 240 x 368 without scaling,\n"
    u"       cut at the edges when larger, on white when smaller.\n"
    u"N      0-4294967295; the same seed gives the same finger; successive images\n"
    u"       of one open device differ slightly. Setting a seed drops an image file.\n"
    u"MS     milliseconds from an attempt's first poll to the image (default 300).\n"
    u"ENTRY  [CALL:]STATUS, decimal or 0x hexadecimal. CALL is image (the default:\n"
    u"       the next VeskBitGetImage answers), open, close or attached. A\n"
    u"       call takes the first entry meant for it and removes it from the\n"
    u"       stored script. image:0 delivers an image at once; image:4003\n"
    u"       unplugs the scanner during the attempt, which breaks off (0x8020:\n"
    u"       the capture ends with 1029) and stays detached; open:N or close:N\n"
    u"       other than 0 fail that call with N.\n"
    u"\n"
    u"The simulator reads its settings at every attach test, open and close, at\n"
    u"the first poll of every capture attempt and every 200 ms while it waits:\n"
    u"detach during a waiting attempt breaks it off (0x8020) within a poll or two.\n"
    u"\n"
    u"Exit status: 0 on success; 1 for bad arguments, a refused image file and\n"
    u"registry failures, with one line on standard error.\n",
    _Run,
};

}  // namespace vadmin
