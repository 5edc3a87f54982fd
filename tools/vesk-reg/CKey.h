// One open registry key, closed when it goes out of scope, with the reads
// and writes the commands need in UTF-16 terms.
#pragma once
#include <string>
#include <vector>

#include "regtext/RegText.h"
#include "support/Win32.h"

namespace vreg {

class CKey {
public:
    CKey() = default;
    ~CKey() { _Close(); }
    CKey(CKey&& other) noexcept : m_hKey(other.m_hKey) { other.m_hKey = nullptr; }
    CKey& operator=(CKey&& other) noexcept;
    CKey(const CKey&) = delete;
    CKey& operator=(const CKey&) = delete;

    // Win32 status of RegOpenKeyExW / RegCreateKeyExW.
    LSTATUS Open(HKEY hParent, const std::u16string& sSubKey, REGSAM nAccess);
    LSTATUS Create(HKEY hParent, const std::u16string& sSubKey, REGSAM nAccess);
    HKEY Get() const { return m_hKey; }

    // In the registry's order; throw CToolError when the registry fails.
    std::vector<std::u16string> SubKeyNames() const;
    std::vector<regtext::Value> Values() const;

    LSTATUS QueryValue(const std::u16string& sName, regtext::Value& value) const;
    LSTATUS SetValue(const regtext::Value& value) const;
    LSTATUS DeleteValue(const std::u16string& sName) const;

private:
    void _Close();

    HKEY m_hKey = nullptr;
};

// reg.exe's words for the common results, the number for the rest.
std::u16string DescribeStatus(LSTATUS nStatus);
[[noreturn]] void FailStatus(LSTATUS nStatus);

}  // namespace vreg
