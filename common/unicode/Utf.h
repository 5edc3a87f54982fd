// UTF-8 and UTF-16 conversions and ASCII case folding, shared by the platform
// layer, the .reg codec and the tools. Portable: no platform headers.
#pragma once
#include <string>
#include <string_view>

namespace unicode {

// Lossless: a lone surrogate is written as its three-byte form (as WTF-8
// does), so any UTF-16 name survives a trip through UTF-8.
std::string ToUtf8(std::u16string_view text);

// Strict, the inverse of ToUtf8: false at the first invalid sequence, whose
// byte offset goes to badOffset.
bool FromUtf8(std::string_view text, std::u16string& out, size_t& badOffset);

// Forgiving: each invalid sequence becomes U+FFFD.
std::u16string FromUtf8Lossy(std::string_view text);

char16_t UpperAscii(char16_t c);
bool EqualsNoCaseAscii(std::u16string_view a, std::u16string_view b);

// 0-15 for a hexadecimal digit of either case, -1 for anything else.
int HexDigitValue(char16_t c);

}  // namespace unicode
