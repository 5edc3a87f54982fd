// Text helpers of the tool: UTF-8 at the process boundary, UTF-16 inside,
// WCHAR (wchar_t or char16_t, both 16 bits) at the registry API.
#pragma once
#include <string>

#include "support/Win32.h"

namespace vreg {

// Lone surrogates survive as three-byte forms; invalid UTF-8 becomes U+FFFD.
std::string ToUtf8(const std::u16string& text);
std::u16string FromUtf8(const std::string& text);

WString ToWide(const std::u16string& text);
std::u16string FromWide(const WCHAR* text, size_t count);

// Root names, type names and options compare without regard to ASCII case.
bool EqualsNoCase(const std::u16string& a, const std::u16string& b);
std::u16string ToUpperAscii(std::u16string text);

}  // namespace vreg
