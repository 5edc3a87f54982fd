#include "CKey.h"
#include "CKeyPath.h"
#include "CToolError.h"
#include "Commands.h"
#include "ValueData.h"

namespace vreg {
namespace {

DWORD _Type(const CCommandLine& line)
{
    DWORD nType = REG_SZ;
    if (line.m_oType && !ParseTypeName(*line.m_oType, nType)) {
        Fail(u"unknown type '" + *line.m_oType +
             u"' (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, "
             u"REG_NONE).");
    }
    return nType;
}

std::u16string _Separator(const CCommandLine& line, DWORD nType)
{
    if (!line.m_oSeparator)
        return u"\\0";
    if (nType != REG_MULTI_SZ)
        Fail(u"option /s applies only to REG_MULTI_SZ.");
    if (line.m_oSeparator->size() != 1)
        Fail(u"the separator of /s must be one character.");
    return *line.m_oSeparator;
}

}  // namespace

void RunAdd(const CCommandLine& line)
{
    const CKeyPath path = KeyPathFromArgument(line.m_vPositional[0]);
    const bool bSetsValue = line.m_oValueName || line.m_oType || line.m_oData;
    regtext::Value value;
    value.name = line.m_oValueName.value_or(u"");
    value.type = _Type(line);
    // Checked before anything is written.
    value.data = EncodeData(value.type, line.m_oData, _Separator(line, value.type));

    CKey key;
    LSTATUS nStatus = key.Create(path.m_hRoot, path.m_sSubKey, KEY_READ | KEY_WRITE | line.m_nView);
    if (nStatus == ERROR_SUCCESS && bSetsValue)
        nStatus = key.SetValue(value);
    if (nStatus != ERROR_SUCCESS)
        FailStatus(nStatus);
    ReportSuccess();
}

}  // namespace vreg
