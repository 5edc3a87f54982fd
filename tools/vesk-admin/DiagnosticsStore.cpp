#include "DiagnosticsStore.h"

#include "CToolError.h"
#include "RegistryFailure.h"
#include "Text.h"
#include "support/CDiagnosticsConfig.h"
#include "support/CHRegKey.h"
#include "support/Registry.h"

namespace vadmin {
namespace {

// The library's own names, so the tool cannot drift from what it reads.
const CDiagnosticsConfig& _Names()
{
    static const CDiagnosticsConfig config;
    return config;
}

std::u16string _DescribeStatus(LSTATUS nStatus) { return vtool::RegistryFailure(nStatus); }

[[noreturn]] void _FailStatus(const char16_t* pszAction, LSTATUS nStatus)
{
    Fail(std::u16string(u"cannot ") + pszAction + u" " + StoredValuePath() + u": " +
         _DescribeStatus(nStatus) + u".");
}

// ERROR_MORE_DATA when the value grew since its size was asked for.
LSTATUS _Query(HKEY hKey, CStoredValue& stored)
{
    const WString& sName = _Names().GetValueName();
    DWORD nSize = 0;
    LSTATUS nStatus =
        RegQueryValueExW(hKey, sName.c_str(), nullptr, &stored.m_nType, nullptr, &nSize);
    if (nStatus != ERROR_SUCCESS)
        return nStatus;
    stored.m_data.SetSize(nSize);
    nStatus = RegQueryValueExW(hKey, sName.c_str(), nullptr, &stored.m_nType,
                               stored.m_data.GetData(), &nSize);
    if (nStatus == ERROR_SUCCESS && nSize != stored.m_data.GetSize())
        stored.m_data.SetSize(nSize);
    return nStatus;
}

}  // namespace

std::u16string StoredKeyPath()
{
    return u"HKEY_LOCAL_MACHINE\\" + FromWide(_Names().GetKeyPath());
}

std::u16string StoredValuePath()
{
    return StoredKeyPath() + u'\\' + FromWide(_Names().GetValueName());
}

CStoredValue ReadStoredValue()
{
    CStoredValue stored;
    CHRegKey key;
    LSTATUS nStatus = RegOpenKeyEx64(HKEY_LOCAL_MACHINE, _Names().GetKeyPath().c_str(), 0,
                                     KEY_QUERY_VALUE, key.GetAddress());
    if (nStatus == ERROR_FILE_NOT_FOUND)
        return stored;
    if (nStatus != ERROR_SUCCESS)
        _FailStatus(u"open", nStatus);
    // A value that grows between its size and its read is asked again, a few times.
    for (int nTries = 0; nTries < 8; ++nTries) {
        nStatus = _Query(key.Get(), stored);
        if (nStatus != ERROR_MORE_DATA)
            break;
    }
    if (nStatus == ERROR_FILE_NOT_FOUND) {
        stored.m_eState = EStoredState::NoValue;
        return stored;
    }
    if (nStatus != ERROR_SUCCESS)
        _FailStatus(u"read", nStatus);
    stored.m_eState = EStoredState::Present;
    return stored;
}

void WriteStoredValue(const CMyByteArray& record)
{
    CHRegKey key;
    LSTATUS nStatus = RegCreateKeyEx64(HKEY_LOCAL_MACHINE, _Names().GetKeyPath().c_str(), 0,
                                       nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                                       key.GetAddress(), nullptr);
    if (nStatus == ERROR_SUCCESS)
        nStatus = RegSetValueExW(key.Get(), _Names().GetValueName().c_str(), 0, REG_BINARY,
                                 record.GetData(), record.GetSize());
    if (nStatus != ERROR_SUCCESS)
        _FailStatus(u"write", nStatus);
}

std::u16string TypeName(DWORD nType)
{
    switch (nType) {
    case REG_NONE: return u"REG_NONE";
    case REG_SZ: return u"REG_SZ";
    case REG_EXPAND_SZ: return u"REG_EXPAND_SZ";
    case REG_BINARY: return u"REG_BINARY";
    case REG_DWORD: return u"REG_DWORD";
    case REG_MULTI_SZ: return u"REG_MULTI_SZ";
    case REG_QWORD: return u"REG_QWORD";
    default: return u"type " + Decimal(nType);
    }
}

}  // namespace vadmin
