#include "ValueData.h"

#include "CToolError.h"
#include "Text.h"
#include "unicode/Utf.h"

namespace vreg {
namespace {

const struct {
    const char16_t* m_pszName;
    DWORD m_nType;
    bool m_bAccepted;  // may be given to /t
} kTypes[] = {
    {u"REG_NONE", REG_NONE, true},
    {u"REG_SZ", REG_SZ, true},
    {u"REG_EXPAND_SZ", REG_EXPAND_SZ, true},
    {u"REG_BINARY", REG_BINARY, true},
    {u"REG_DWORD", REG_DWORD, true},
    {u"REG_DWORD_BIG_ENDIAN", REG_DWORD_BIG_ENDIAN, false},
    {u"REG_LINK", REG_LINK, false},
    {u"REG_MULTI_SZ", REG_MULTI_SZ, true},
    {u"REG_RESOURCE_LIST", 8, false},
    {u"REG_FULL_RESOURCE_DESCRIPTOR", 9, false},
    {u"REG_RESOURCE_REQUIREMENTS_LIST", 10, false},
    {u"REG_QWORD", REG_QWORD, true},
};

const char16_t kHexDigits[] = u"0123456789ABCDEF";
const char16_t kLowerHexDigits[] = u"0123456789abcdef";

std::u16string _LowerHex(uint64_t nValue)
{
    std::u16string sDigits;
    do {
        sDigits.insert(sDigits.begin(), kLowerHexDigits[nValue & 0xF]);
        nValue >>= 4;
    } while (nValue);
    return sDigits;
}

// Decimal, or hex after "0x"; no sign, no blanks, nothing above nMax.
bool _ParseNumber(const std::u16string& sText, uint64_t nMax, uint64_t& nValue)
{
    const bool bHex =
        sText.size() > 2 && sText[0] == u'0' && (sText[1] == u'x' || sText[1] == u'X');
    const unsigned nBase = bHex ? 16 : 10;
    if (sText.empty())
        return false;
    nValue = 0;
    for (size_t i = bHex ? 2 : 0; i < sText.size(); ++i) {
        const int nDigit = unicode::HexDigitValue(sText[i]);
        if (nDigit < 0 || static_cast<unsigned>(nDigit) >= nBase)
            return false;
        if (nValue > (nMax - static_cast<unsigned>(nDigit)) / nBase)
            return false;
        nValue = nValue * nBase + static_cast<unsigned>(nDigit);
    }
    return true;
}

std::vector<uint8_t> _LittleEndian(uint64_t nValue, size_t nSize)
{
    std::vector<uint8_t> bytes(nSize);
    for (size_t i = 0; i < nSize; ++i)
        bytes[i] = static_cast<uint8_t>(nValue >> (8 * i));
    return bytes;
}

void _AppendUtf16le(std::vector<uint8_t>& bytes, const std::u16string& sText)
{
    for (const char16_t c : sText) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
}

std::vector<uint8_t> _EncodeNumber(DWORD nType, const std::u16string& sText)
{
    const bool bQword = nType == REG_QWORD;
    uint64_t nValue = 0;
    if (!_ParseNumber(sText, bQword ? UINT64_MAX : UINT32_MAX, nValue)) {
        Fail(u"'" + sText + u"' is not a " + TypeName(nType) +
             (bQword ? u" (decimal or 0x hex, at most 0xffffffffffffffff)."
                     : u" (decimal or 0x hex, at most 0xffffffff)."));
    }
    return _LittleEndian(nValue, bQword ? 8 : 4);
}

std::vector<uint8_t> _EncodeBinary(DWORD nType, const std::u16string& sText)
{
    if (sText.size() % 2)
        Fail(TypeName(nType) + u" data needs an even number of hex digits.");
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < sText.size(); i += 2) {
        const int nHigh = unicode::HexDigitValue(sText[i]);
        const int nLow = unicode::HexDigitValue(sText[i + 1]);
        if (nHigh < 0 || nLow < 0)
            Fail(TypeName(nType) + u" data '" + sText +
                 u"' holds a character that is not a hex digit.");
        bytes.push_back(static_cast<uint8_t>(nHigh * 16 + nLow));
    }
    return bytes;
}

std::vector<uint8_t> _EncodeMulti(const std::u16string& sText, const std::u16string& sSeparator)
{
    std::vector<std::u16string> parts;
    for (size_t nStart = 0; nStart < sText.size();) {
        const size_t nEnd = sText.find(sSeparator, nStart);
        parts.push_back(sText.substr(nStart, nEnd - nStart));
        nStart = nEnd == std::u16string::npos ? sText.size() : nEnd + sSeparator.size();
    }
    std::vector<uint8_t> bytes;
    for (const std::u16string& sPart : parts) {
        // An empty string would end the list for every reader.
        if (sPart.empty())
            Fail(u"REG_MULTI_SZ data holds an empty string between separators.");
        _AppendUtf16le(bytes, sPart);
    }
    if (parts.empty())
        _AppendUtf16le(bytes, std::u16string());
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

std::u16string _DecodeUtf16le(const std::vector<uint8_t>& data, size_t& nOffset)
{
    std::u16string sText;
    for (; nOffset + 1 < data.size(); nOffset += 2) {
        const auto c = static_cast<char16_t>(data[nOffset] | (data[nOffset + 1] << 8));
        if (c == 0) {
            nOffset += 2;
            break;
        }
        sText += c;
    }
    return sText;
}

std::u16string _DisplayMulti(const std::vector<uint8_t>& data)
{
    std::u16string sJoined;
    for (size_t nOffset = 0; nOffset + 1 < data.size();) {
        const std::u16string sPart = _DecodeUtf16le(data, nOffset);
        if (sPart.empty())
            break;
        sJoined += (sJoined.empty() ? u"" : u"\\0") + sPart;
    }
    return sJoined;
}

std::u16string _DisplayBinary(const std::vector<uint8_t>& data)
{
    std::u16string sHex;
    for (const uint8_t nByte : data) {
        sHex += kHexDigits[nByte >> 4];
        sHex += kHexDigits[nByte & 0xF];
    }
    return sHex;
}

uint64_t _ReadLittleEndian(const std::vector<uint8_t>& data)
{
    uint64_t nValue = 0;
    for (size_t i = data.size(); i-- > 0;)
        nValue = (nValue << 8) | data[i];
    return nValue;
}

}  // namespace

bool ParseTypeName(const std::u16string& sName, DWORD& nType)
{
    for (const auto& type : kTypes) {
        if (type.m_bAccepted && EqualsNoCase(sName, type.m_pszName)) {
            nType = type.m_nType;
            return true;
        }
    }
    return false;
}

std::u16string TypeName(DWORD nType)
{
    for (const auto& type : kTypes) {
        if (type.m_nType == nType)
            return type.m_pszName;
    }
    return u"0x" + _LowerHex(nType);
}

std::vector<uint8_t> EncodeData(DWORD nType, const std::optional<std::u16string>& data,
                                const std::u16string& sSeparator)
{
    switch (nType) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        std::vector<uint8_t> bytes;
        _AppendUtf16le(bytes, data.value_or(u""));
        return bytes;
    }
    case REG_DWORD:
    case REG_QWORD:
        return _EncodeNumber(nType, data.value_or(u"0"));
    case REG_MULTI_SZ:
        return _EncodeMulti(data.value_or(u""), sSeparator);
    default:
        return _EncodeBinary(nType, data.value_or(u""));
    }
}

std::u16string DisplayData(DWORD nType, const std::vector<uint8_t>& data)
{
    size_t nOffset = 0;
    switch (nType) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return _DecodeUtf16le(data, nOffset);
    case REG_MULTI_SZ:
        return _DisplayMulti(data);
    case REG_DWORD:
    case REG_QWORD:
        if (data.size() == (nType == REG_DWORD ? 4u : 8u))
            return u"0x" + _LowerHex(_ReadLittleEndian(data));
        return _DisplayBinary(data);
    default:
        return _DisplayBinary(data);
    }
}

}  // namespace vreg
