#include "Text.h"

#include "unicode/Utf.h"

namespace vadmin {

std::string ToUtf8(const std::u16string& sText) { return unicode::ToUtf8(sText); }

std::u16string FromUtf8(const std::string& sText) { return unicode::FromUtf8Lossy(sText); }

WString ToWide(const std::u16string& sText) { return WString(sText.begin(), sText.end()); }

std::u16string FromWide(const WString& sText) { return std::u16string(sText.begin(), sText.end()); }

std::u16string Decimal(uint64_t nValue)
{
    const std::string sDigits = std::to_string(nValue);
    return std::u16string(sDigits.begin(), sDigits.end());
}

bool EqualsNoCase(const std::u16string& sA, const std::u16string& sB)
{
    return unicode::EqualsNoCaseAscii(sA, sB);
}

}  // namespace vadmin
