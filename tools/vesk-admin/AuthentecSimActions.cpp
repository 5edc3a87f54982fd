// What only the AuthenTec service client simulator has: the client
// generation, the image format, the two software versions the older
// generation compares, events sent after a connect and the broken answers.
#include <vector>

#include "CToolError.h"
#include "SimFamily.h"
#include "Text.h"
#include "sim/afss/AfssSettings.h"
#include "sim/common/CRegValues.h"
#include "sim/common/SimText.h"

namespace vadmin {
namespace {

namespace af = vsim::afss;

// Splits at every cSeparator; empty parts stay.
std::vector<std::u16string> _Split(const std::u16string& sText, char16_t cSeparator)
{
    std::vector<std::u16string> parts(1);
    for (const char16_t c : sText) {
        if (c == cSeparator)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

af::CVersion _Version(const std::u16string& sText)
{
    af::CVersion version{};
    if (!af::ParseVersion(ToUtf8(sText), version))
        Fail(u"'" + sText + u"' is not a version (A.B.C.D, four numbers 0-4294967295).");
    return version;
}

int _Generation(const CSimFamily& family, const Args& args)
{
    const std::u16string& sText = One(args, u"generation (8 or 9)");
    if (sText != u"8" && sText != u"9")
        Fail(u"'" + sText + u"' is not a client generation (8 or 9).");
    family.Key().WriteDword(af::kGeneration, sText == u"8" ? 8 : 9);
    family.Say(u"client generation " + sText + u".");
    return 0;
}

int _Format(const CSimFamily& family, const Args& args)
{
    const uint32_t nFormat = Number(One(args, u"image format"), u"image format");
    family.Key().WriteDword(af::kImageFormat, nFormat);
    family.Say(u"images in format " + Decimal(nFormat) + u".");
    return 0;
}

// One version: client and service agree.
int _Versions(const CSimFamily& family, const Args& args)
{
    if (args.empty() || args.size() > 2)
        Fail(u"give the client's version and optionally the service's, as in 'versions 8.1.2.30 8.1.2.31'.");
    const af::CVersion client = _Version(args[0]);
    const af::CVersion service = args.size() == 2 ? _Version(args[1]) : client;
    const std::u16string sClient = FromUtf8(af::FormatVersion(client));
    const std::u16string sService = FromUtf8(af::FormatVersion(service));
    family.Key().WriteString(af::kClientVersion, ToWide(sClient));
    family.Key().WriteString(af::kServiceVersion, ToWide(sService));
    family.Say(u"client library " + sClient + u", service " + sService + u".");
    return 0;
}

int _Events(const CSimFamily& family, const Args& args)
{
    const std::u16string& sList = One(args, u"events (TYPE:CODE[:PAYLOADTYPE...],... or none)");
    if (EqualsNoCase(sList, u"none")) {
        family.Key().Delete({af::kEvents});
        family.Say(u"no events queued.");
        return 0;
    }
    std::vector<WString> entries;
    std::u16string sShown;
    for (const std::u16string& sText : _Split(sList, u',')) {
        af::CQueuedEvent event;
        std::string why;
        if (!af::ParseEvent(ToUtf8(sText), event, why))
            Fail(u"bad event " + FromUtf8(why) + u".");
        const std::u16string sCanonical = FromUtf8(af::FormatEvent(event));
        entries.push_back(ToWide(sCanonical));
        sShown += u" " + sCanonical;
    }
    family.Key().WriteMultiString(af::kEvents, entries);
    family.Say(u"events after the next connect:" + sShown + u".");
    return 0;
}

int _Fault(const CSimFamily& family, const Args& args)
{
    const std::u16string& sName = One(args, u"fault name");
    uint32_t nFault = kAfssSimFaultNone;
    if (!af::ParseFault(ToUtf8(sName), nFault)) {
        std::u16string sNames;
        for (uint32_t i = 0; i < kAfssSimFaultCount; ++i)
            sNames += (i ? u", " : u"") + FromUtf8(af::FaultName(i));
        Fail(u"unknown fault '" + sName + u"' (" + sNames + u").");
    }
    if (nFault == kAfssSimFaultNone)
        family.Key().Delete({af::kFault});
    else
        family.Key().WriteString(af::kFault, ToWide(sName));
    family.Say(u"fault: " + sName + u".");
    return 0;
}

const CSimAction kActions[] = {
    {u"generation", _Generation}, {u"format", _Format}, {u"versions", _Versions},
    {u"events", _Events},         {u"fault", _Fault},
};

std::u16string _ShownVersion(const vsim::CRegValues& key, const WCHAR* pszName, const af::CVersion& fallback,
                             std::u16string& sNote)
{
    const std::optional<WString> oText = key.ReadString(pszName);
    af::CVersion version{};
    if (oText && af::ParseVersion(vsim::Utf8FromWide(*oText), version))
        return FromUtf8(af::FormatVersion(version));
    if (oText)
        sNote += u"ignored " + FromWide(pszName) + u": '" + FromWide(*oText) + u"' is not A.B.C.D\n";
    return FromUtf8(af::FormatVersion(fallback));
}

}  // namespace

std::u16string AuthentecShow(const CSimFamily& family, std::u16string& sNote)
{
    const uint32_t nSensors = ShownDword(family, af::kSensors, af::kDefaultSensors, sNote);
    const uint32_t nGeneration = ShownDword(family, af::kGeneration, af::kDefaultGeneration, sNote);
    const bool bNoInterface = ShownDword(family, af::kNoInterface, 0, sNote) != 0;
    const uint32_t nWidth = ShownDword(family, af::kWidth, af::kDefaultWidth, sNote);
    const uint32_t nHeight = ShownDword(family, af::kHeight, af::kDefaultHeight, sNote);
    const uint32_t nFormat = ShownDword(family, af::kImageFormat, 0, sNote);
    const vsim::CRegValues key(HKEY_LOCAL_MACHINE, vsim::SimulatorKeyPath(family.m_pszKey), false);
    const std::u16string sClient = _ShownVersion(key, af::kClientVersion, af::kDefaultVersion, sNote);
    af::CVersion client = af::kDefaultVersion;
    af::ParseVersion(ToUtf8(sClient), client);
    const std::u16string sService = _ShownVersion(key, af::kServiceVersion, client, sNote);
    const std::string sFault = vsim::Utf8FromWide(key.ReadString(af::kFault).value_or(WString()));
    uint32_t nFault = kAfssSimFaultNone;
    if (!sFault.empty() && !af::ParseFault(sFault, nFault))
        sNote += u"ignored Fault: '" + FromUtf8(sFault) + u"' is not a fault name\n";
    std::u16string sEvents;
    for (const WString& sEvent : key.ReadMultiString(af::kEvents).value_or(std::vector<WString>()))
        sEvents += u" " + FromWide(sEvent);
    std::u16string sStatuses;
    for (uint32_t nOp = 0; nOp < kAfssSimOpCount; ++nOp) {
        if (const uint32_t nStatus = ShownDword(family, af::StatusValueName(nOp), 0, sNote))
            sStatuses += u" " + FromUtf8(af::OpName(nOp)) + u":" + HexWord(nStatus);
    }
    return u"sensors: " + Decimal(nSensors) + u"\n" + u"client generation: " +
           (bNoInterface ? u"none (no interface)" : Decimal(nGeneration == 8 ? 8 : 9)) + u"\n" +
           u"generated images: " + Decimal(nWidth) + u" x " + Decimal(nHeight) + u" pixels, format " +
           Decimal(nFormat) + u"\n" + ShownImages(family, sNote) + ShownFinger(family, sNote) +
           u"versions: client library " + sClient + u", service " + sService + u"\n" + u"fault: " +
           FromUtf8(af::FaultName(nFault)) + u"\n" + u"forced statuses:" + (sStatuses.empty() ? u" none" : sStatuses) +
           u"\n" + u"events after the next connect:" + (sEvents.empty() ? u" none" : sEvents) + u"\n" +
           ShownScript(family);
}

std::vector<CSimAction> AuthentecActions() { return {std::begin(kActions), std::end(kActions)}; }

std::vector<const WCHAR*> AuthentecValues()
{
    static const std::vector<WString> statusNames = [] {
        std::vector<WString> names;
        for (uint32_t nOp = 0; nOp < kAfssSimOpCount; ++nOp)
            names.push_back(af::StatusValueName(nOp));
        return names;
    }();
    std::vector<const WCHAR*> values = {af::kGeneration,    af::kNoInterface,   af::kSensors,       af::kWidth,
                                        af::kHeight,        af::kSeed,          af::kImageFile,     af::kImageFormat,
                                        af::kFingerDelayMs, af::kClientVersion, af::kServiceVersion, af::kFault,
                                        af::kEvents,        af::kScript};
    for (const WString& sName : statusNames)
        values.push_back(sName.c_str());
    return values;
}

}  // namespace vadmin
