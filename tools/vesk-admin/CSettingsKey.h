// A registry key of settings, in the 64-bit view as the library and the
// simulators open it, with the tool's error lines: reads tell a missing key
// or value apart, other failures throw CToolError with the Win32 code.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "support/Win32.h"

namespace vadmin {

struct CRawValue {
    bool m_bPresent = false;
    DWORD m_nType = REG_NONE;
    std::vector<uint8_t> m_vData;

    // REG_DWORD of exactly 4 bytes.
    bool IsDword() const { return m_bPresent && m_nType == REG_DWORD && m_vData.size() == 4; }
    uint32_t Dword() const;
};

class CSettingsKey {
public:
    // hRoot is HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER.
    CSettingsKey(HKEY hRoot, const WString& sPath);

    // "HKEY_LOCAL_MACHINE\SOFTWARE\..." and that with "\name", for messages.
    std::u16string KeyPath() const;
    std::u16string ValuePath(const WString& sName) const;

    CRawValue Read(const WString& sName) const;
    void WriteDword(const WString& sName, uint32_t nValue) const;
    void WriteString(const WString& sName, const WString& sValue) const;
    void WriteMultiString(const WString& sName, const std::vector<WString>& values) const;
    // Nothing to do for a missing key or value.
    void Delete(const std::vector<WString>& names) const;

private:
    HKEY m_hRoot;
    WString m_sPath;
};

// "type REG_SZ" or "4 bytes" style phrase for a value that is not a DWORD.
std::u16string NotDwordReason(const CRawValue& value);

}  // namespace vadmin
