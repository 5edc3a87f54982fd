#include "CKey.h"

#include <algorithm>
#include <string>

#include "CToolError.h"
#include "RegistryFailure.h"
#include "Text.h"

namespace vreg {
namespace {

// Longest names Windows lets a program add, plus the terminator; names read
// may be longer (a hive edited by hand) up to the longest a counted UTF-16
// string can hold. Values that keep growing are read again a few times only.
constexpr DWORD kMaxKeyName = 256;
constexpr DWORD kMaxValueName = 16384;
constexpr size_t kMaxNameRead = 32768;
constexpr DWORD kMaxTries = 8;

DWORD _Size(const std::vector<uint8_t>& data)
{
    return static_cast<DWORD>(data.size());
}

}  // namespace

CKey& CKey::operator=(CKey&& other) noexcept
{
    if (this != &other) {
        _Close();
        m_hKey = other.m_hKey;
        other.m_hKey = nullptr;
    }
    return *this;
}

void CKey::_Close()
{
    if (m_hKey)
        RegCloseKey(m_hKey);
    m_hKey = nullptr;
}

LSTATUS CKey::Open(HKEY hParent, const std::u16string& sSubKey, REGSAM nAccess)
{
    _Close();
    return RegOpenKeyExW(hParent, ToWide(sSubKey).c_str(), 0, nAccess, &m_hKey);
}

LSTATUS CKey::Create(HKEY hParent, const std::u16string& sSubKey, REGSAM nAccess)
{
    _Close();
    return RegCreateKeyExW(hParent, ToWide(sSubKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           nAccess, nullptr, &m_hKey, nullptr);
}

std::vector<std::u16string> CKey::SubKeyNames() const
{
    std::vector<std::u16string> names;
    std::vector<WCHAR> buffer(kMaxKeyName);
    for (DWORD nIndex = 0;;) {
        DWORD nLength = static_cast<DWORD>(buffer.size());
        const LSTATUS nStatus = RegEnumKeyExW(m_hKey, nIndex, buffer.data(), &nLength, nullptr,
                                              nullptr, nullptr, nullptr);
        if (nStatus == ERROR_NO_MORE_ITEMS)
            return names;
        if (nStatus == ERROR_MORE_DATA && buffer.size() < kMaxNameRead) {
            buffer.resize(kMaxNameRead);  // a hive edited by hand may hold longer names
            continue;
        }
        if (nStatus != ERROR_SUCCESS)
            FailStatus(nStatus);
        names.push_back(FromWide(buffer.data(), nLength));
        ++nIndex;
    }
}

std::vector<regtext::Value> CKey::Values() const
{
    std::vector<regtext::Value> values;
    std::vector<WCHAR> name(kMaxValueName);
    std::vector<uint8_t> data(256);
    for (DWORD nIndex = 0, nTries = 0;; ++nTries) {
        DWORD nNameLength = static_cast<DWORD>(name.size());
        DWORD nType = REG_NONE;
        DWORD nDataSize = _Size(data);
        const LSTATUS nStatus = RegEnumValueW(m_hKey, nIndex, name.data(), &nNameLength, nullptr,
                                              &nType, data.data(), &nDataSize);
        if (nStatus == ERROR_NO_MORE_ITEMS)
            return values;
        // Either buffer may be short; each grows to what is needed, within bounds.
        if (nStatus == ERROR_MORE_DATA && nTries < kMaxTries) {
            if (nDataSize > data.size())
                data.resize(nDataSize);
            else if (name.size() < kMaxNameRead)
                name.resize(kMaxNameRead);
            else
                FailStatus(nStatus);
            continue;
        }
        if (nStatus != ERROR_SUCCESS)
            FailStatus(nStatus);
        regtext::Value value;
        value.name = FromWide(name.data(), nNameLength);
        value.type = nType;
        value.data.assign(data.begin(), data.begin() + nDataSize);
        values.push_back(std::move(value));
        ++nIndex;
        nTries = 0;
    }
}

LSTATUS CKey::QueryValue(const std::u16string& sName, regtext::Value& value) const
{
    const WString sWide = ToWide(sName);
    std::vector<uint8_t> data(256);
    for (DWORD nTries = 0;; ++nTries) {
        DWORD nType = REG_NONE;
        DWORD nDataSize = _Size(data);
        const LSTATUS nStatus =
            RegQueryValueExW(m_hKey, sWide.c_str(), nullptr, &nType, data.data(), &nDataSize);
        if (nStatus == ERROR_MORE_DATA && nTries < kMaxTries) {
            data.resize(nDataSize);  // it may grow again before the next call
            continue;
        }
        if (nStatus == ERROR_SUCCESS) {
            value.name = sName;
            value.type = nType;
            value.data.assign(data.begin(), data.begin() + nDataSize);
        }
        return nStatus;
    }
}

LSTATUS CKey::SetValue(const regtext::Value& value) const
{
    return RegSetValueExW(m_hKey, ToWide(value.name).c_str(), 0, value.type, value.data.data(),
                          _Size(value.data));
}

LSTATUS CKey::DeleteValue(const std::u16string& sName) const
{
    return RegDeleteValueW(m_hKey, ToWide(sName).c_str());
}

std::u16string DescribeStatus(LSTATUS nStatus)
{
    switch (nStatus) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return u"The system was unable to find the specified registry key or value.";
    case ERROR_ACCESS_DENIED:
        return u"Access is denied.";
    default:
        return u"The registry answered " + vtool::RegistryFailure(nStatus) + u".";
    }
}

void FailStatus(LSTATUS nStatus)
{
    Fail(DescribeStatus(nStatus));
}

}  // namespace vreg
