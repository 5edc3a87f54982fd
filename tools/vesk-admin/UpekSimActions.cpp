// What only the UPEK simulator has: the number of scanners, their device
// version and native size, another process taking the scanner, and the
// broken records it can hand out.
#include <algorithm>

#include "CToolError.h"
#include "SimFamily.h"
#include "Text.h"
#include "sim/bsapi/BsapiSettings.h"
#include "sim/common/CRegValues.h"
#include "sim/common/SimText.h"

namespace vadmin {
namespace {

namespace bs = vsim::bsapi;

uint32_t _Bounded(const std::u16string& sText, const char16_t* pszWhat, uint32_t nLow, uint32_t nHigh)
{
    uint32_t nValue = 0;
    if (!vsim::ParseNumber(ToUtf8(sText), 0xFFFFFFFF, nValue) || nValue < nLow || nValue > nHigh)
        Fail(u"'" + sText + u"' is not " + pszWhat + u" (" + Decimal(nLow) + u"-" + Decimal(nHigh) + u").");
    return nValue;
}

std::u16string _Scanners(uint32_t nDevices)
{
    if (nDevices == 0)
        return u"none on USB";
    std::u16string sDsns;
    for (uint32_t i = 0; i < nDevices && i < 3; ++i)
        sDsns += (i ? u", " : u"") + FromUtf8(bs::DsnOf(i));
    return Decimal(nDevices) + u" on USB (" + sDsns + (nDevices > 3 ? u", ...)" : u")");
}

int _Devices(const CSimFamily& family, const Args& args)
{
    const uint32_t nDevices = _Bounded(One(args, u"number of scanners"), u"a number of scanners", 0,
                                       bs::kMaxDevices);
    family.Key().WriteDword(bs::kDevices, nDevices);
    family.Say(u"scanners: " + _Scanners(nDevices) + u".");
    return 0;
}

int _Version(const CSimFamily& family, const Args& args)
{
    const uint32_t nVersion = Number(One(args, u"device version"), u"device version");
    family.Key().WriteDword(bs::kDeviceVersion, nVersion);
    family.Say(u"device version " + HexWord(nVersion) + u".");
    return 0;
}

int _Size(const CSimFamily& family, const Args& args)
{
    if (args.size() != 2)
        Fail(u"give the width and the height, as in 'size 300 400'.");
    const uint32_t nWidth = _Bounded(args[0], u"a width", 1, bs::kMaxSide);
    const uint32_t nHeight = _Bounded(args[1], u"a height", 1, bs::kMaxSide);
    family.Key().WriteDword(bs::kWidth, nWidth);
    family.Key().WriteDword(bs::kHeight, nHeight);
    family.Say(u"native size " + Decimal(nWidth) + u" x " + Decimal(nHeight) + u".");
    return 0;
}

int _Suspend(const CSimFamily& family, bool bSuspended, const Args& args)
{
    NoArguments(args);
    family.Key().WriteDword(bs::kSuspended, bSuspended ? 1 : 0);
    family.Say(bSuspended ? u"another process holds the scanner: grabs end, captures report 1029."
                          : u"the scanner is back.");
    return 0;
}

int _Fault(const CSimFamily& family, const Args& args)
{
    const std::u16string& sName = One(args, u"fault name");
    uint32_t nFault = bs::kFaultNone;
    if (!bs::ParseFault(ToUtf8(sName), nFault)) {
        std::u16string sNames;
        for (uint32_t i = 0; i < bs::kFaultCount; ++i)
            sNames += (i ? u", " : u"") + FromUtf8(bs::FaultName(i));
        Fail(u"unknown fault '" + sName + u"' (" + sNames + u").");
    }
    if (nFault == bs::kFaultNone)
        family.Key().Delete({bs::kFault});
    else
        family.Key().WriteString(bs::kFault, ToWide(sName));
    family.Say(u"fault: " + sName + u".");
    return 0;
}

const CSimAction kActions[] = {
    {u"devices", _Devices},
    {u"version", _Version},
    {u"size", _Size},
    {u"suspend", [](const CSimFamily& f, const Args& args) { return _Suspend(f, true, args); }},
    {u"resume", [](const CSimFamily& f, const Args& args) { return _Suspend(f, false, args); }},
    {u"fault", _Fault},
};

}  // namespace

std::u16string UpekShow(const CSimFamily& family, std::u16string& sNote)
{
    const uint32_t nDevices = ShownDword(family, bs::kDevices, bs::kDefaultDevices, sNote);
    const uint32_t nVersion = ShownDword(family, bs::kDeviceVersion, bs::kDefaultDeviceVersion, sNote);
    const uint32_t nWidth = ShownDword(family, bs::kWidth, bs::kDefaultWidth, sNote);
    const uint32_t nHeight = ShownDword(family, bs::kHeight, bs::kDefaultHeight, sNote);
    const bool bSuspended = ShownDword(family, bs::kSuspended, 0, sNote) != 0;
    const vsim::CRegValues key(HKEY_LOCAL_MACHINE, vsim::SimulatorKeyPath(family.m_pszKey), false);
    const std::string sFault = vsim::Utf8FromWide(key.ReadString(bs::kFault).value_or(WString()));
    uint32_t nFault = bs::kFaultNone;
    if (!sFault.empty() && !bs::ParseFault(sFault, nFault))
        sNote += u"ignored Fault: '" + FromUtf8(sFault) + u"' is not a fault name\n";
    return u"scanners: " + _Scanners(std::min(nDevices, bs::kMaxDevices)) + u"\n" +
           u"device version: " + HexWord(nVersion) + u"\n" + u"native size: " + Decimal(nWidth) +
           u" x " + Decimal(nHeight) + u"\n" + ShownImages(family, sNote) + ShownFinger(family, sNote) +
           u"another process: " + (bSuspended ? u"holds the scanner" : u"does not hold the scanner") +
           u"\n" + u"fault: " + FromUtf8(bs::FaultName(nFault)) + u"\n" + ShownScript(family);
}

std::vector<CSimAction> UpekActions() { return {std::begin(kActions), std::end(kActions)}; }

}  // namespace vadmin
