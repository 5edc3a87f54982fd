// Text of the tools: UTF-16 inside, UTF-8 at the process boundary and WCHAR
// (wchar_t or char16_t, 16 bits either way) at the library's interfaces.
#pragma once
#include <cstdint>
#include <string>

#include "support/Win32.h"

namespace vtool {

std::string ToUtf8(const std::u16string& sText);
// Invalid UTF-8 becomes U+FFFD rather than failing the run.
std::u16string FromUtf8(const std::string& sText);

WString ToWide(const std::u16string& sText);
std::u16string FromWide(const WString& sText);
std::u16string FromWide(const WCHAR* pszText, size_t nCount);

std::u16string Decimal(uint64_t nValue);
// Root names, type names, commands and options compare without ASCII case.
bool EqualsNoCase(const std::u16string& sA, const std::u16string& sB);
std::u16string ToUpperAscii(std::u16string sText);

}  // namespace vtool
