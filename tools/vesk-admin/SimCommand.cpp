// vesk-admin sim: drive the simulated scanners through their machine-wide
// control values, so that every process using them sees the change. The
// verbs the families share run on one description of each family; what only
// the UPEK scanner or the AuthenTec service client has is in
// UpekSimActions.cpp and AuthentecSimActions.cpp.
#include <string>
#include <vector>

#include "CToolError.h"
#include "Commands.h"
#include "Platform.h"
#include "SimFamily.h"
#include "Text.h"
#include "drivers/VeskBit2.h"
#include "sim/afss/AfssSettings.h"
#include "sim/atsc70/Atsc70Settings.h"
#include "sim/bsapi/BsapiSettings.h"
#include "sim/common/CRegValues.h"
#include "sim/common/GreyImageReader.h"
#include "sim/common/SimText.h"
#include "sim/veskbit2/VeskBitSettings.h"

namespace vadmin {
namespace {

namespace vb = vsim::veskbit;
namespace bs = vsim::bsapi;
namespace at = vsim::atsc70;
namespace af = vsim::afss;

std::u16string _VeskBitShow(const CSimFamily& family, std::u16string& sNote)
{
    const bool bAttached = ShownDword(family, vb::kAttached, 1, sNote) != 0;
    return u"scanner: " + std::u16string(bAttached ? u"attached" : u"detached") + u"\n" +
           ShownImages(family, sNote) + ShownFinger(family, sNote) + ShownScript(family);
}

const CSimFamily kVeskBit = {
    u"veskbit",
    vb::kFamily,
    {vb::kAttached, 1, 0},
    vb::kSeed,
    vb::kImageFile,
    vb::kFingerDelayMs,
    vb::kScript,
    vb::kDefaultSeed,
    vb::kDefaultFingerDelayMs,
    u"an attempt's first poll",
    {vb::kAttached, vb::kSeed, vb::kImageFile, vb::kFingerDelayMs, vb::kScript},
    u"attached",
    vb::ParseScriptEntry,
    vb::FormatScriptEntry,
    [](uint32_t, uint32_t) {
        return u"centred in " + Decimal(kVeskBitWidth) + u" x " + Decimal(kVeskBitHeight);
    },
    _VeskBitShow,
    {},
};

const CSimFamily kUpek = {
    u"upek",
    bs::kFamily,
    {bs::kDevices, 1, 0},
    bs::kSeed,
    bs::kImageFile,
    bs::kFingerDelayMs,
    bs::kScript,
    bs::kDefaultSeed,
    bs::kDefaultFingerDelayMs,
    u"a grab starts",
    {bs::kDevices, bs::kDeviceVersion, bs::kWidth, bs::kHeight, bs::kSeed, bs::kImageFile,
     bs::kFingerDelayMs, bs::kSuspended, bs::kFault, bs::kScript},
    u"no scanner on USB, device version " + HexWord(bs::kDefaultDeviceVersion) + u", " +
        Decimal(bs::kDefaultWidth) + u" x " + Decimal(bs::kDefaultHeight) + u" pixels",
    bs::ParseScriptEntry,
    bs::FormatScriptEntry,
    [](uint32_t, uint32_t) { return std::u16string(u"served at that size"); },
    UpekShow,
    UpekActions(),
};

std::u16string _Atsc70Show(const CSimFamily& family, std::u16string& sNote)
{
    const uint32_t nSensors = ShownDword(family, at::kSensors, at::kDefaultSensors, sNote);
    const uint32_t nWidth = ShownDword(family, at::kWidth, at::kDefaultWidth, sNote);
    const uint32_t nHeight = ShownDword(family, at::kHeight, at::kDefaultHeight, sNote);
    return u"sensors: " + Decimal(nSensors) + u"\nreconstructed images: " + Decimal(nWidth) +
           u" x " + Decimal(nHeight) + u" pixels\n" + ShownImages(family, sNote) +
           ShownFinger(family, sNote) + ShownScript(family);
}

// No lookup name selects this driver; tests and tools drive it directly.
const CSimFamily kAtsc70 = {
    u"atsc70",
    at::kFamily,
    {at::kSensors, 1, 0},
    at::kSeed,
    at::kImageFile,
    at::kFingerDelayMs,
    at::kScript,
    at::kDefaultSeed,
    at::kDefaultFingerDelayMs,
    u"an acquisition's start",
    {at::kSensors, at::kSensorName, at::kNameStatus, at::kWidth, at::kHeight, at::kSeed,
     at::kImageFile, at::kFingerDelayMs, at::kLeaveDelayMs, at::kFault, at::kScript},
    u"one sensor named " + FromUtf8(at::kDefaultSensorName) + u", images of " +
        Decimal(at::kDefaultWidth) + u" x " + Decimal(at::kDefaultHeight) + u" pixels",
    at::ParseScriptEntry,
    at::FormatScriptEntry,
    [](uint32_t, uint32_t) { return std::u16string(u"reconstructed at that size"); },
    _Atsc70Show,
    {},
};

const CSimFamily kAuthentec = {
    u"authentec",
    af::kFamily,
    {af::kSensors, 1, 0},
    af::kSeed,
    af::kImageFile,
    af::kFingerDelayMs,
    af::kScript,
    af::kDefaultSeed,
    af::kDefaultFingerDelayMs,
    u"an image request",
    AuthentecValues(),
    u"one sensor, client generation " + Decimal(af::kDefaultGeneration) + u", images of " +
        Decimal(af::kDefaultWidth) + u" x " + Decimal(af::kDefaultHeight) + u" pixels in format 0, versions " +
        FromUtf8(af::FormatVersion(af::kDefaultVersion)) + u", no forced status, no fault, no events",
    af::ParseScriptEntry,
    af::FormatScriptEntry,
    [](uint32_t, uint32_t) { return std::u16string(u"served at that size"); },
    AuthentecShow,
    AuthentecActions(),
};

const CSimFamily* const kFamilies[] = {&kVeskBit, &kUpek, &kAtsc70, &kAuthentec};
const char16_t* const kFamilyNames = u"veskbit, upek, atsc70 or authentec";

int _Attach(const CSimFamily& family, bool bAttached, const Args& args)
{
    NoArguments(args);
    const CSimFamily::CAttach& attach = family.m_attach;
    family.Key().WriteDword(attach.m_pszValue, bAttached ? attach.m_nOn : attach.m_nOff);
    family.Say(bAttached ? u"scanner attached." : u"scanner detached.");
    return 0;
}

// Relative paths would resolve in every capturing process's own folder.
bool _IsFullPath(const std::u16string& sPath)
{
    if (!sPath.empty() && (sPath[0] == u'/' || sPath[0] == u'\\'))
        return true;
    return sPath.size() > 2 && sPath[1] == u':' && (sPath[2] == u'\\' || sPath[2] == u'/');
}

int _Image(const CSimFamily& family, const Args& args)
{
    const std::u16string& sPath = One(args, u"image file");
    if (!_IsFullPath(sPath))
        Fail(u"give the image file's full path, not '" + sPath + u"'.");
    vsim::CGreyImage image;
    std::string why;
    if (!vsim::ReadGreyImageFile(ToWide(sPath), image, why))
        Fail(u"the image file is refused: " + FromUtf8(why) + u".");
    family.Key().WriteString(family.m_pszImageFile, ToWide(sPath));
    family.Say(u"images from " + sPath + u" (" + Decimal(image.GetWidth()) + u" x " +
               Decimal(image.GetHeight()) + u" pixels, " +
               family.m_pfnImageFit(image.GetWidth(), image.GetHeight()) + u").");
    return 0;
}

int _Seed(const CSimFamily& family, const Args& args)
{
    const uint32_t nSeed = Number(One(args, u"seed"), u"seed");
    family.Key().WriteDword(family.m_pszSeed, nSeed);
    family.Key().Delete({family.m_pszImageFile});
    family.Say(u"images generated from seed " + Decimal(nSeed) + u".");
    return 0;
}

int _SetDelay(const CSimFamily& family, const Args& args)
{
    const std::u16string& sText = One(args, u"delay");
    const uint32_t nDelay = EqualsNoCase(sText, u"never") ? kSimFingerNever
                                                         : Number(sText, u"delay in ms");
    family.Key().WriteDword(family.m_pszFingerDelay, nDelay);
    family.Say(nDelay == kSimFingerNever ? std::u16string(u"the finger never arrives.")
                                         : u"the finger arrives " + family.Delay(nDelay) + u".");
    return 0;
}

int _Script(const CSimFamily& family, const Args& args)
{
    std::vector<WString> entries;
    std::u16string sShown;
    for (const std::u16string& sText : args) {
        vsim::CScriptEntry entry;
        std::string why;
        if (!family.m_pfnParseEntry(ToUtf8(sText), entry, why))
            Fail(u"bad script entry " + FromUtf8(why) + u".");
        const std::string sCanonical = family.m_pfnFormatEntry(entry);
        entries.push_back(ToWide(FromUtf8(sCanonical)));
        sShown += u" " + FromUtf8(sCanonical);
    }
    if (entries.empty()) {
        family.Key().Delete({family.m_pszScript});
        family.Say(u"script cleared.");
        return 0;
    }
    family.Key().WriteMultiString(family.m_pszScript, entries);
    family.Say(u"script set:" + sShown + u".");
    return 0;
}

int _Reset(const CSimFamily& family, const Args& args)
{
    NoArguments(args);
    family.Key().Delete({family.m_vAllValues.begin(), family.m_vAllValues.end()});
    family.Say(u"settings removed: " + family.m_sDefaults + u", generated images from seed " +
               Decimal(family.m_nDefaultSeed) + u", finger " + family.Delay(family.m_nDefaultDelay) +
               u", no script.");
    return 0;
}

int _Show(const CSimFamily& family, const Args& args)
{
    NoArguments(args);
    std::u16string sNote;
    const std::u16string sBody = family.m_pfnShow(family, sNote);
    WriteOut(family.m_pszName + std::u16string(u" simulator (") + family.Key().KeyPath() + u"):\n" +
             sBody + sNote);
    return 0;
}

const CSimAction kCommonActions[] = {
    {u"attach", [](const CSimFamily& f, const Args& args) { return _Attach(f, true, args); }},
    {u"detach", [](const CSimFamily& f, const Args& args) { return _Attach(f, false, args); }},
    {u"image", _Image},
    {u"seed", _Seed},
    {u"delay", _SetDelay},
    {u"script", _Script},
    {u"reset", _Reset},
};

std::u16string _ActionNames(const CSimFamily& family)
{
    std::vector<const char16_t*> names;
    for (const CSimAction& action : kCommonActions)
        names.push_back(action.m_pszName);
    for (const CSimAction& action : family.m_vExtraActions)
        names.push_back(action.m_pszName);
    std::u16string sNames;
    for (size_t i = 0; i < names.size(); ++i)
        sNames += std::u16string(i == 0 ? u"" : i + 1 == names.size() ? u" or " : u", ") + names[i];
    return sNames;
}

int _Run(const Args& args)
{
    if (args.empty())
        Fail(u"missing simulator name (" + std::u16string(kFamilyNames) + u").");
    const CSimFamily* pFamily = nullptr;
    for (const CSimFamily* pCandidate : kFamilies)
        if (EqualsNoCase(args[0], pCandidate->m_pszName))
            pFamily = pCandidate;
    if (!pFamily)
        Fail(u"unknown simulator '" + args[0] + u"' (" + kFamilyNames + u").");
    if (args.size() == 1)
        return _Show(*pFamily, {});
    const Args rest(args.begin() + 2, args.end());
    for (const CSimAction& action : kCommonActions)
        if (EqualsNoCase(args[1], action.m_pszName))
            return action.m_pfnRun(*pFamily, rest);
    for (const CSimAction& action : pFamily->m_vExtraActions)
        if (EqualsNoCase(args[1], action.m_pszName))
            return action.m_pfnRun(*pFamily, rest);
    Fail(u"unknown action '" + args[1] + u"' (" + _ActionNames(*pFamily) + u").");
}

}  // namespace

const CCommand kSimCommand = {
    u"sim",
    u"show or drive the simulated scanners (attached, images, delays, scripts)",
    u"vesk-admin sim: the simulated scanner libraries' machine-wide settings,\n"
    u"kept under HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\Simulator\\<name> (64-bit view):\n"
    u"veskbit for the own-brand scanner (veskbit2), upek for the UPEK TCS3 (bsapi),\n"
    u"atsc70 for the ATSC70 swipe library (which no lookup name selects),\n"
    u"authentec for the AuthenTec service's client library (AFSSClientLib); its\n"
    u"service ATService is set with 'vesk-admin service'.\n"
    u"\n"
    u"  vesk-admin sim NAME                      show the settings\n"
    u"  vesk-admin sim NAME attach|detach        plug the scanner in or out\n"
    u"  vesk-admin sim NAME image FILE           serve FILE (PGM or 8-bit BMP)\n"
    u"  vesk-admin sim NAME seed N               generate fingers from seed N\n"
    u"  vesk-admin sim NAME delay MS|never       when the finger arrives\n"
    u"  vesk-admin sim NAME script [ENTRY...]    the next answers (none: clear)\n"
    u"  vesk-admin sim NAME reset                remove every setting\n"
    u"  vesk-admin sim upek devices N            N scanners on USB (0-127; none until\n"
    u"                                           attach or devices plugs one in)\n"
    u"  vesk-admin sim upek version V            the device version the scanner reports\n"
    u"  vesk-admin sim upek size WIDTH HEIGHT    the scanner's own image size\n"
    u"  vesk-admin sim upek suspend|resume       another process takes the scanner, gives it back\n"
    u"  vesk-admin sim upek fault NAME           hand out a broken record (see below)\n"
    u"  vesk-admin sim authentec generation 8|9  the client interface handed out\n"
    u"  vesk-admin sim authentec format N        the images' format field (default 0)\n"
    u"  vesk-admin sim authentec versions A.B.C.D [E.F.G.H]\n"
    u"                                           the client library's and the service's\n"
    u"                                           versions (one given: both)\n"
    u"  vesk-admin sim authentec events TYPE:CODE[:PAYLOADTYPE...],...|none\n"
    u"                                           events sent once after the next connect\n"
    u"  vesk-admin sim authentec fault NAME      a broken answer (see below)\n"
    u"\n"
    u"FILE   a full path. veskbit centres a picture in 240 x 368 without scaling,\n"
    u"       cut at the edges when larger, on white when smaller; upek serves it\n"
    u"       at its own size, which the library then turns upside down and fits;\n"
    u"       authentec serves it at its own size too, which the library fits.\n"
    u"N      0-4294967295; the same seed gives the same finger; successive images\n"
    u"       of one open device differ slightly. Setting a seed drops an image file.\n"
    u"MS     milliseconds from an attempt's first poll (veskbit), from the start\n"
    u"       of a grab (upek), of an acquisition (atsc70) or of an image request\n"
    u"       (authentec) to the image (default 300).\n"
    u"ENTRY  veskbit: [CALL:]STATUS, decimal or 0x hexadecimal. CALL is image (the\n"
    u"       default: the next VeskBitGetImage answers), open, close or attached. A\n"
    u"       call takes the first entry meant for it and removes it from the\n"
    u"       stored script. image:0 delivers an image at once; image:4003\n"
    u"       unplugs the scanner during the attempt, which breaks off (0x8020:\n"
    u"       the capture ends with 1029) and stays detached; open:N or close:N\n"
    u"       other than 0 fail that call with N.\n"
    u"       upek: [CALL:]STATUS, signed decimal. CALL is grab (the default),\n"
    u"       enumerate, open, property, cancel or close; a status other than 0\n"
    u"       fails that call with it (grab:-5012 is a cancel), grab:0 delivers an\n"
    u"       image at once.\n"
    u"       atsc70: [CALL:]ANSWER. CALL is message (the default: the code of the\n"
    u"       next message, 0-65535; 5 image ready, 12 and 13 end, 16-26 quality\n"
    u"       warnings), init, name, open, begin, end or create (a signed status\n"
    u"       that call answers instead of its own work).\n"
    u"       authentec: [OP:]STATUS, decimal or 0x hexadecimal. OP is request (the\n"
    u"       default), startup, connect, shutdown, cancel, list or versions; a\n"
    u"       status other than 0 is answered instead of the call's work,\n"
    u"       request:0 delivers an image at once.\n"
    u"V      0-4294967295, decimal or 0x hexadecimal (default 0x04030001).\n"
    u"WIDTH, HEIGHT  1-4096 pixels each (default 300 x 400).\n"
    u"NAME   of a fault: none, list-count (the list counts 1000 devices more than\n"
    u"       it holds), short-property (a 2-byte version), huge-image (an image\n"
    u"       claiming 4096 x 4096 pixels) or empty-image (a height of 0).\n"
    u"       authentec: none, list-count (the sensor list counts one more than it\n"
    u"       holds), image-short (a 16-byte image), pixels-over (more pixel bytes\n"
    u"       than the image holds), width-zero, height-zero or width-huge (100000).\n"
    u"\n"
    u"The veskbit simulator reads its settings at every attach test, open and\n"
    u"close, at the first poll of every capture attempt and every 200 ms while it\n"
    u"waits: detach during a waiting attempt breaks it off (0x8020) within a poll\n"
    u"or two. The upek simulator reads them at every call and every 200 ms while\n"
    u"a grab waits: suspend during a grab ends it (the capture ends with 1029),\n"
    u"detach ends it as no scanner (4009).\n"
    u"\n"
    u"Exit status: 0 on success; 1 for bad arguments, a refused image file and\n"
    u"registry failures, with one line on standard error.\n",
    _Run,
};

}  // namespace vadmin
