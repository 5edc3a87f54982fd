// Text at the simulators' edges: UTF-8 inside, WCHAR at the Win32 calls,
// numbers as administrators type them, and lines for the debugger.
#pragma once
#include <cstdint>
#include <string>

#include "support/Win32.h"

namespace vsim {

WString WideFromUtf8(const std::string& sText);
std::string Utf8FromWide(const WString& sText);

// Decimal, or hexadecimal after "0x"/"0X"; false for anything else or a
// value above nMax.
bool ParseNumber(const std::string& sText, uint32_t nMax, uint32_t& nValue);
// "0x" and at least nDigits upper-case hexadecimal digits.
std::string Hex(uint32_t nValue, int nDigits);

// One line on the debugger's output (OutputDebugStringW), as closed
// libraries report what they refuse.
void DebugLine(const std::string& sUtf8);

}  // namespace vsim
