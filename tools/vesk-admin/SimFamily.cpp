#include "SimFamily.h"

#include "CToolError.h"
#include "Platform.h"
#include "Text.h"
#include "sim/common/CRegValues.h"
#include "sim/common/SimText.h"

namespace vadmin {

CSettingsKey CSimFamily::Key() const
{
    return CSettingsKey(HKEY_LOCAL_MACHINE, vsim::SimulatorKeyPath(m_pszKey));
}

void CSimFamily::Say(const std::u16string& sWhat) const
{
    WriteOut(m_pszName + std::u16string(u" simulator: ") + sWhat + u"\n");
}

std::u16string CSimFamily::Delay(uint32_t nDelay) const
{
    if (nDelay == kSimFingerNever)
        return u"never";
    return Decimal(nDelay) + u" ms after " + m_pszDelayFrom;
}

const std::u16string& One(const Args& args, const char16_t* pszWhat)
{
    if (args.empty())
        Fail(std::u16string(u"missing ") + pszWhat + u".");
    if (args.size() > 1)
        Fail(u"unexpected argument '" + args[1] + u"'.");
    return args[0];
}

void NoArguments(const Args& args)
{
    if (!args.empty())
        Fail(u"unexpected argument '" + args[0] + u"'.");
}

uint32_t Number(const std::u16string& sText, const char16_t* pszWhat)
{
    uint32_t nValue = 0;
    if (!vsim::ParseNumber(ToUtf8(sText), 0xFFFFFFFF, nValue))
        Fail(u"'" + sText + u"' is not a " + pszWhat +
             u" (0-4294967295, decimal or 0x hexadecimal).");
    return nValue;
}

std::u16string HexWord(uint32_t nValue) { return FromUtf8(vsim::Hex(nValue, 8)); }

uint32_t ShownDword(const CSimFamily& family, const WString& sName, uint32_t nDefault,
                    std::u16string& sNote)
{
    const CRawValue value = family.Key().Read(sName);
    if (value.IsDword())
        return value.Dword();
    if (value.m_bPresent)
        sNote += u"ignored " + FromWide(sName) + u": " + NotDwordReason(value) + u"\n";
    return nDefault;
}

std::u16string ShownImages(const CSimFamily& family, std::u16string& sNote)
{
    const uint32_t nSeed = ShownDword(family, family.m_pszSeed, family.m_nDefaultSeed, sNote);
    const vsim::CRegValues key(HKEY_LOCAL_MACHINE, vsim::SimulatorKeyPath(family.m_pszKey), false);
    const WString sFile = key.ReadString(family.m_pszImageFile).value_or(WString());
    return u"images: " +
           (sFile.empty() ? u"generated from seed " + Decimal(nSeed) : FromWide(sFile)) + u"\n";
}

std::u16string ShownFinger(const CSimFamily& family, std::u16string& sNote)
{
    const uint32_t nDelay = ShownDword(family, family.m_pszFingerDelay, family.m_nDefaultDelay, sNote);
    return u"finger: " + family.Delay(nDelay) + u"\n";
}

std::u16string ShownScript(const CSimFamily& family)
{
    const vsim::CRegValues key(HKEY_LOCAL_MACHINE, vsim::SimulatorKeyPath(family.m_pszKey), false);
    std::u16string sScript;
    for (const WString& sEntry : key.ReadMultiString(family.m_pszScript).value_or(std::vector<WString>()))
        sScript += u" " + FromWide(sEntry);
    return u"script:" + (sScript.empty() ? u" (empty)" : sScript) + u"\n";
}

}  // namespace vadmin
