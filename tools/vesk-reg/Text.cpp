#include "Text.h"

#include "unicode/Utf.h"

namespace vreg {

std::string ToUtf8(const std::u16string& text) { return unicode::ToUtf8(text); }

std::u16string FromUtf8(const std::string& text) { return unicode::FromUtf8Lossy(text); }

WString ToWide(const std::u16string& text) { return WString(text.begin(), text.end()); }

std::u16string FromWide(const WCHAR* text, size_t count)
{
    return std::u16string(text, text + count);
}

bool EqualsNoCase(const std::u16string& a, const std::u16string& b)
{
    return unicode::EqualsNoCaseAscii(a, b);
}

std::u16string ToUpperAscii(std::u16string text)
{
    for (char16_t& c : text)
        c = unicode::UpperAscii(c);
    return text;
}

}  // namespace vreg
