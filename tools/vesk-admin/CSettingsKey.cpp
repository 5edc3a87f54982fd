#include "CSettingsKey.h"

#include "CToolError.h"
#include "RegistryFailure.h"
#include "DiagnosticsStore.h"
#include "Text.h"
#include "sim/common/CRegValues.h"

namespace vadmin {
namespace {

std::u16string _Describe(LSTATUS nStatus) { return vtool::RegistryFailure(nStatus); }

}  // namespace

uint32_t CRawValue::Dword() const
{
    return uint32_t(m_vData[0]) | uint32_t(m_vData[1]) << 8 | uint32_t(m_vData[2]) << 16 |
           uint32_t(m_vData[3]) << 24;
}

CSettingsKey::CSettingsKey(HKEY hRoot, const WString& sPath) : m_hRoot(hRoot), m_sPath(sPath) {}

std::u16string CSettingsKey::KeyPath() const
{
    const char16_t* pszRoot =
        m_hRoot == HKEY_CURRENT_USER ? u"HKEY_CURRENT_USER\\" : u"HKEY_LOCAL_MACHINE\\";
    return pszRoot + FromWide(m_sPath);
}

std::u16string CSettingsKey::ValuePath(const WString& sName) const
{
    return KeyPath() + u'\\' + FromWide(sName);
}

CRawValue CSettingsKey::Read(const WString& sName) const
{
    const vsim::CRegValues key(m_hRoot, m_sPath, false);
    CRawValue value;
    if (key.GetStatus() == ERROR_FILE_NOT_FOUND)
        return value;
    if (!key.IsOpen())
        Fail(u"cannot open " + KeyPath() + u": " + _Describe(key.GetStatus()) + u".");
    const LSTATUS nStatus = key.Read(sName, value.m_nType, value.m_vData);
    if (nStatus == ERROR_FILE_NOT_FOUND)
        return value;
    if (nStatus != ERROR_SUCCESS)
        Fail(u"cannot read " + ValuePath(sName) + u": " + _Describe(nStatus) + u".");
    value.m_bPresent = true;
    return value;
}

void CSettingsKey::WriteDword(const WString& sName, uint32_t nValue) const
{
    vsim::CRegValues key(m_hRoot, m_sPath, true);
    const LSTATUS nStatus = key.WriteDword(sName, nValue);
    if (nStatus != ERROR_SUCCESS)
        Fail(u"cannot write " + ValuePath(sName) + u": " + _Describe(nStatus) + u".");
}

void CSettingsKey::WriteString(const WString& sName, const WString& sValue) const
{
    vsim::CRegValues key(m_hRoot, m_sPath, true);
    const LSTATUS nStatus = key.WriteString(sName, sValue);
    if (nStatus != ERROR_SUCCESS)
        Fail(u"cannot write " + ValuePath(sName) + u": " + _Describe(nStatus) + u".");
}

void CSettingsKey::WriteMultiString(const WString& sName, const std::vector<WString>& values) const
{
    vsim::CRegValues key(m_hRoot, m_sPath, true);
    const LSTATUS nStatus = key.WriteMultiString(sName, values);
    if (nStatus != ERROR_SUCCESS)
        Fail(u"cannot write " + ValuePath(sName) + u": " + _Describe(nStatus) + u".");
}

void CSettingsKey::Delete(const std::vector<WString>& names) const
{
    // Opened for writing only when there is a key, so nothing is created.
    if (vsim::CRegValues(m_hRoot, m_sPath, false).GetStatus() == ERROR_FILE_NOT_FOUND)
        return;
    vsim::CRegValues key(m_hRoot, m_sPath, true);
    for (const WString& sName : names) {
        const LSTATUS nStatus = key.Delete(sName);
        if (nStatus != ERROR_SUCCESS)
            Fail(u"cannot delete " + ValuePath(sName) + u": " + _Describe(nStatus) + u".");
    }
}

std::u16string NotDwordReason(const CRawValue& value)
{
    if (value.m_nType != REG_DWORD)
        return u"it has type " + TypeName(value.m_nType) + u", not REG_DWORD";
    return u"it holds " + Decimal(value.m_vData.size()) + u" bytes, not 4";
}

}  // namespace vadmin
