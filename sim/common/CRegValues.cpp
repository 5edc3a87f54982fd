#include "sim/common/CRegValues.h"

#include <algorithm>


namespace vsim {
namespace {

std::vector<uint8_t> _Bytes(const WString& sText)
{
    std::vector<uint8_t> data;
    data.reserve((sText.size() + 1) * 2);
    for (const WCHAR c : sText + WCHAR(0)) {
        data.push_back(static_cast<uint8_t>(c & 0xFF));
        data.push_back(static_cast<uint8_t>((c >> 8) & 0xFF));
    }
    return data;
}

WString _Characters(const std::vector<uint8_t>& data)
{
    WString sText;
    for (size_t i = 0; i < data.size(); i += 2) {
        const unsigned nHigh = i + 1 < data.size() ? data[i + 1] : 0;
        sText += static_cast<WCHAR>(data[i] | (nHigh << 8));
    }
    return sText;
}

}  // namespace

WString SimulatorKeyPath(const WString& sFamily)
{
    return W("SOFTWARE\\vesk\\Simulator\\") + sFamily;
}

CRegValues::CRegValues(HKEY hRoot, const WString& sPath, bool bWrite)
{
    // Windows 2000 knows no views and refuses the flag.
    for (const REGSAM nView : {REGSAM(KEY_WOW64_64KEY), REGSAM(0)}) {
        HKEY hKey = nullptr;
        if (bWrite)
            m_nStatus = RegCreateKeyExW(hRoot, sPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_READ | KEY_WRITE | nView, nullptr, &hKey, nullptr);
        else
            m_nStatus = RegOpenKeyExW(hRoot, sPath.c_str(), 0, KEY_READ | nView, &hKey);
        if (m_nStatus == ERROR_SUCCESS)
            m_pKey.reset(hKey);
        if (m_nStatus != ERROR_INVALID_PARAMETER)
            return;
    }
}

LSTATUS CRegValues::Read(const WString& sName, DWORD& nType, std::vector<uint8_t>& data) const
{
    if (!IsOpen())
        return m_nStatus;
    // A value that keeps growing between its size and its read is asked a few
    // times only.
    for (int nTries = 0; nTries < 8; ++nTries) {
        DWORD nSize = 0;
        LSTATUS nStatus = RegQueryValueExW(m_pKey.get(), sName.c_str(), nullptr, &nType, nullptr,
                                           &nSize);
        if (nStatus != ERROR_SUCCESS)
            return nStatus;
        data.assign(nSize, 0);
        nStatus = RegQueryValueExW(m_pKey.get(), sName.c_str(), nullptr, &nType, data.data(),
                                   &nSize);
        if (nStatus != ERROR_MORE_DATA) {
            data.resize(nSize);
            return nStatus;
        }
    }
    return ERROR_MORE_DATA;
}

std::optional<uint32_t> CRegValues::ReadDword(const WString& sName) const
{
    DWORD nType = REG_NONE;
    std::vector<uint8_t> data;
    if (Read(sName, nType, data) != ERROR_SUCCESS || nType != REG_DWORD || data.size() != 4)
        return std::nullopt;
    return uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
           uint32_t(data[3]) << 24;
}

std::optional<WString> CRegValues::ReadString(const WString& sName) const
{
    DWORD nType = REG_NONE;
    std::vector<uint8_t> data;
    if (Read(sName, nType, data) != ERROR_SUCCESS || nType != REG_SZ)
        return std::nullopt;
    return DecodeString(data);
}

std::optional<std::vector<WString>> CRegValues::ReadMultiString(const WString& sName) const
{
    DWORD nType = REG_NONE;
    std::vector<uint8_t> data;
    if (Read(sName, nType, data) != ERROR_SUCCESS || nType != REG_MULTI_SZ)
        return std::nullopt;
    return DecodeMultiString(data);
}

LSTATUS CRegValues::WriteDword(const WString& sName, uint32_t nValue)
{
    return _Write(sName, REG_DWORD,
                  {uint8_t(nValue), uint8_t(nValue >> 8), uint8_t(nValue >> 16),
                   uint8_t(nValue >> 24)});
}

LSTATUS CRegValues::WriteString(const WString& sName, const WString& sValue)
{
    return _Write(sName, REG_SZ, _Bytes(sValue));
}

LSTATUS CRegValues::WriteMultiString(const WString& sName, const std::vector<WString>& values)
{
    std::vector<uint8_t> data;
    for (const WString& sValue : values) {
        const std::vector<uint8_t> one = _Bytes(sValue);
        data.insert(data.end(), one.begin(), one.end());
    }
    data.push_back(0);
    data.push_back(0);
    return _Write(sName, REG_MULTI_SZ, data);
}

LSTATUS CRegValues::Delete(const WString& sName)
{
    if (!IsOpen())
        return m_nStatus;
    const LSTATUS nStatus = RegDeleteValueW(m_pKey.get(), sName.c_str());
    return nStatus == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : nStatus;
}

LSTATUS CRegValues::_Write(const WString& sName, DWORD nType, const std::vector<uint8_t>& data)
{
    if (!IsOpen())
        return m_nStatus;
    return RegSetValueExW(m_pKey.get(), sName.c_str(), 0, nType, data.data(),
                          static_cast<DWORD>(data.size()));
}

WString DecodeString(const std::vector<uint8_t>& data)
{
    const WString sAll = _Characters(data);
    return sAll.substr(0, sAll.find(WCHAR(0)));
}

std::vector<WString> DecodeMultiString(const std::vector<uint8_t>& data)
{
    const WString sAll = _Characters(data);
    std::vector<WString> values;
    size_t nPos = 0;
    while (nPos < sAll.size()) {
        const size_t nEnd = std::min(sAll.find(WCHAR(0), nPos), sAll.size());
        if (nEnd == nPos)
            break;
        values.push_back(sAll.substr(nPos, nEnd - nPos));
        nPos = nEnd + 1;
    }
    return values;
}

}  // namespace vsim
