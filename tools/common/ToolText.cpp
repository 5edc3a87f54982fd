#include "ToolText.h"

#include "unicode/Utf.h"

namespace vtool {

std::string ToUtf8(const std::u16string& sText) { return unicode::ToUtf8(sText); }

std::u16string FromUtf8(const std::string& sText) { return unicode::FromUtf8Lossy(sText); }

WString ToWide(const std::u16string& sText) { return WString(sText.begin(), sText.end()); }

std::u16string FromWide(const WString& sText) { return std::u16string(sText.begin(), sText.end()); }

std::u16string FromWide(const WCHAR* pszText, size_t nCount)
{
    return std::u16string(pszText, pszText + nCount);
}

std::u16string Decimal(uint64_t nValue)
{
    const std::string sDigits = std::to_string(nValue);
    return std::u16string(sDigits.begin(), sDigits.end());
}

bool EqualsNoCase(const std::u16string& sA, const std::u16string& sB)
{
    return unicode::EqualsNoCaseAscii(sA, sB);
}

std::u16string ToUpperAscii(std::u16string sText)
{
    for (char16_t& c : sText)
        c = unicode::UpperAscii(c);
    return sText;
}

}  // namespace vtool
