// One registry key in the 64-bit view, read and written value by value: the
// control settings that simulators, tools and tests share across processes.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

#include "support/Win32.h"

namespace vsim {

// HKLM\SOFTWARE\vesk\Simulator\<family>, where every simulator reads its
// machine-wide control values.
WString SimulatorKeyPath(const WString& sFamily);

class CRegValues {
public:
    // Opens root\path for reading; bWrite creates it and asks for write rights.
    CRegValues(HKEY hRoot, const WString& sPath, bool bWrite);

    // The result of the open: ERROR_FILE_NOT_FOUND for a missing key.
    LSTATUS GetStatus() const { return m_nStatus; }
    bool IsOpen() const { return m_pKey != nullptr; }

    // ERROR_SUCCESS with the value's type and bytes, or the query's code.
    LSTATUS Read(const WString& sName, DWORD& nType, std::vector<uint8_t>& data) const;
    // Empty when the value is missing or of another type or size.
    std::optional<uint32_t> ReadDword(const WString& sName) const;
    std::optional<WString> ReadString(const WString& sName) const;
    std::optional<std::vector<WString>> ReadMultiString(const WString& sName) const;

    LSTATUS WriteDword(const WString& sName, uint32_t nValue);
    LSTATUS WriteString(const WString& sName, const WString& sValue);
    LSTATUS WriteMultiString(const WString& sName, const std::vector<WString>& values);
    // ERROR_SUCCESS also when there was no such value.
    LSTATUS Delete(const WString& sName);

private:
    struct CKeyCloser {
        void operator()(HKEY hKey) const { RegCloseKey(hKey); }
    };

    LSTATUS _Write(const WString& sName, DWORD nType, const std::vector<uint8_t>& data);

    // Not the library's key wrapper: a vendor library shares none of its code.
    std::unique_ptr<std::remove_pointer_t<HKEY>, CKeyCloser> m_pKey;
    LSTATUS m_nStatus = ERROR_SUCCESS;
};

// Value bytes as the library reads them: a REG_SZ up to its first null, a
// REG_MULTI_SZ string by string up to the first empty one; a partial last
// character counts, its missing high byte taken as 0.
WString DecodeString(const std::vector<uint8_t>& data);
std::vector<WString> DecodeMultiString(const std::vector<uint8_t>& data);

}  // namespace vsim
