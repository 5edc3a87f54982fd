#include "CKey.h"

#include <algorithm>
#include <string>

#include "CToolError.h"
#include "Text.h"

namespace vreg {
namespace {

// Longest value name Windows allows, plus its terminator.
constexpr DWORD kMaxValueName = 16384;

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
    std::vector<WCHAR> buffer(256);
    for (DWORD nIndex = 0;;) {
        DWORD nLength = static_cast<DWORD>(buffer.size());
        const LSTATUS nStatus = RegEnumKeyExW(m_hKey, nIndex, buffer.data(), &nLength, nullptr,
                                              nullptr, nullptr, nullptr);
        if (nStatus == ERROR_NO_MORE_ITEMS)
            return names;
        if (nStatus == ERROR_MORE_DATA) {
            buffer.resize(buffer.size() * 2);
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
    for (DWORD nIndex = 0;;) {
        DWORD nNameLength = kMaxValueName;
        DWORD nType = REG_NONE;
        DWORD nDataSize = _Size(data);
        const LSTATUS nStatus = RegEnumValueW(m_hKey, nIndex, name.data(), &nNameLength, nullptr,
                                              &nType, data.data(), &nDataSize);
        if (nStatus == ERROR_NO_MORE_ITEMS)
            return values;
        if (nStatus == ERROR_MORE_DATA) {
            data.resize(std::max<size_t>(nDataSize, data.size() * 2));
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
    }
}

LSTATUS CKey::QueryValue(const std::u16string& sName, regtext::Value& value) const
{
    const WString sWide = ToWide(sName);
    std::vector<uint8_t> data(256);
    for (;;) {
        DWORD nType = REG_NONE;
        DWORD nDataSize = _Size(data);
        const LSTATUS nStatus =
            RegQueryValueExW(m_hKey, sWide.c_str(), nullptr, &nType, data.data(), &nDataSize);
        if (nStatus == ERROR_MORE_DATA) {
            data.resize(std::max<size_t>(nDataSize, data.size() * 2));
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
        return u"The registry answered error " + FromUtf8(std::to_string(nStatus)) + u".";
    }
}

void FailStatus(LSTATUS nStatus)
{
    Fail(DescribeStatus(nStatus));
}

}  // namespace vreg
