// Number formatting for diagnostic messages, the same on every platform.
#pragma once
#include <cstdint>

#include "support/Win32.h"

// "0x" and 8 lower-case hexadecimal digits with leading zeros.
WString FormatHex32(uint32_t nValue);
// Plain decimal, with a minus sign when negative.
WString FormatDecimal(int64_t nValue);
// Decimal with at least nDigits digits, zero-filled on the left.
WString FormatZeroPadded(uint32_t nValue, unsigned nDigits);
