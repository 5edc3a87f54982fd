// vesk-admin order: the order in which the library probes the scanner families.
#include <string>
#include <vector>

#include "COptions.h"
#include "CSettingsKey.h"
#include "CToolError.h"
#include "Commands.h"
#include "DiagnosticsStore.h"
#include "Platform.h"
#include "Text.h"
#include "support/Registry.h"

namespace vadmin {
namespace {

const WString kKey = W("SOFTWARE\\vesk\\veskSensor\\Settings");
const WString kValue = W("SensorDetectOrder");
const char16_t* const kDefault = u"--default";

// The library's names in its default order; they compare exactly.
const std::vector<std::u16string> kNames = {u"vesk bit", u"Authtentec 2501", u"Upek TCS3"};

const CSettingsKey& _Key()
{
    static const CSettingsKey key(HKEY_LOCAL_MACHINE, kKey);
    return key;
}

bool _IsName(const std::u16string& sName)
{
    for (const std::u16string& sKnown : kNames) {
        if (sName == sKnown)
            return true;
    }
    return false;
}

std::u16string _ValidNames()
{
    return u"the names are '" + kNames[0] + u"', '" + kNames[1] + u"' and '" + kNames[2] + u"'";
}

std::u16string _Numbered(const std::vector<std::u16string>& names)
{
    std::u16string sText;
    for (size_t i = 0; i < names.size(); ++i)
        sText += Decimal(i + 1) + u".) " + names[i] + u'\n';
    return sText;
}

void _CheckName(const std::u16string& sName)
{
    if (_IsName(sName))
        return;
    std::u16string sHint;
    for (const std::u16string& sKnown : kNames) {
        if (EqualsNoCase(sName, sKnown))
            sHint = u" (names compare exactly: did you mean '" + sKnown + u"'?)";
    }
    Fail(u"unknown scanner name '" + sName + u"'" + sHint + u"; " + _ValidNames() + u".");
}

int _Store(const std::vector<std::u16string>& names)
{
    if (names.size() != kNames.size())
        Fail(u"give three scanner names, not " + Decimal(names.size()) +
             u": the library ignores any other count; " + _ValidNames() + u".");
    std::vector<WString> values;
    for (const std::u16string& sName : names) {
        _CheckName(sName);
        values.push_back(ToWide(sName));
    }
    _Key().WriteMultiString(kValue, values);
    WriteOut(u"lookup order set; the library probes at every detection, in this order:\n" +
             _Numbered(names));
    return 0;
}

int _Default()
{
    _Key().Delete({kValue});
    WriteOut(u"lookup order removed; the library probes in its default order:\n" +
             _Numbered(kNames));
    return 0;
}

// Whether non-empty strings follow an empty one, which the library never reads.
bool _TextAfterEmpty(const std::vector<uint8_t>& data)
{
    bool bEmptySeen = false;
    size_t nLength = 0;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        if (data[i] != 0 || data[i + 1] != 0) {
            if (bEmptySeen)
                return true;
            ++nLength;
        } else {
            bEmptySeen = bEmptySeen || nLength == 0;
            nLength = 0;
        }
    }
    return false;
}

// Why the library ignores what it read; empty when it uses it.
std::u16string _Problem(const CRawValue& raw, const std::vector<std::u16string>& taken)
{
    if (raw.m_nType != REG_MULTI_SZ)
        return u"it has type " + TypeName(raw.m_nType) + u", not REG_MULTI_SZ";
    std::u16string sProblem;
    size_t nValid = 0;
    for (const std::u16string& sName : taken) {
        if (_IsName(sName))
            ++nValid;
        else
            sProblem += u"'" + sName + u"' is not a scanner name; ";
    }
    if (nValid == kNames.size())
        return u"";
    if (_TextAfterEmpty(raw.m_vData))
        sProblem += u"reading stops at an empty string; ";
    return sProblem + u"it needs exactly 3 valid names and finds " + Decimal(nValid);
}

int _Show()
{
    const CRawValue raw = _Key().Read(kValue);
    if (!raw.m_bPresent) {
        WriteOut(u"lookup order: the default (there is no value " + _Key().ValuePath(kValue) +
                 u")\n" + _Numbered(kNames));
        return 0;
    }
    // The library's own reader, so that the shown order cannot drift from it.
    std::vector<WString> values;
    ReadMultiStringValue(HKEY_LOCAL_MACHINE, kKey, kValue, values, false, false);
    std::vector<std::u16string> taken;
    for (const WString& sValue : values)
        taken.push_back(FromWide(sValue));
    const std::u16string sProblem = _Problem(raw, taken);
    if (sProblem.empty()) {
        WriteOut(u"lookup order: from " + _Key().ValuePath(kValue) + u"\n" + _Numbered(taken));
        return 0;
    }
    WriteOut(u"lookup order: the default, because the library ignores the stored value: " +
             sProblem + u".\n" + _Numbered(kNames));
    return 1;
}

int _Run(const std::vector<std::u16string>& args)
{
    const vtool::COptions options(args, {{kDefault, false}}, u"order");
    if (options.Has(kDefault)) {
        options.RejectPlain();
        return _Default();
    }
    if (options.Plain().empty())
        return _Show();
    return _Store(options.Plain());
}

}  // namespace

const CCommand kOrderCommand = {
    u"order",
    u"show or set the order in which the library looks for scanners",
    u"vesk-admin order: the order in which the library probes the scanner families\n"
    u"when it detects a scanner, kept in the value\n"
    u"HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\veskSensor\\Settings\\SensorDetectOrder\n"
    u"(REG_MULTI_SZ, 64-bit view).\n"
    u"\n"
    u"  vesk-admin order                     show the order the library uses\n"
    u"  vesk-admin order NAME NAME NAME      probe in this order\n"
    u"  vesk-admin order --default           remove the value: the default order\n"
    u"\n"
    u"NAME   'vesk bit', 'Authtentec 2501' or 'Upek TCS3' (the default order), spelt\n"
    u"       exactly so and quoted for the shell. The library uses a stored order\n"
    u"       only when it holds exactly three valid names; a name given more than\n"
    u"       once is probed once per mention and a name left out is not probed.\n"
    u"\n"
    u"The library reads the order afresh at every detection.\n"
    u"\n"
    u"Exit status: 0 when the order was written or removed, or when the library\n"
    u"uses what is stored (or the default, with no value). 1 when it ignores the\n"
    u"stored value: the first line says why. 1 also for bad arguments and registry\n"
    u"failures, with one line on standard error.\n",
    _Run,
};

}  // namespace vadmin
