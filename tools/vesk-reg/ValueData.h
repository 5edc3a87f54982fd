// Value types by name, and value data between command-line text and the
// stored bytes (little-endian numbers, UTF-16LE strings with terminators).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/Win32.h"

namespace vreg {

// REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY,
// REG_NONE in any case; false for others.
bool ParseTypeName(const std::u16string& sName, DWORD& nType);
// The name reg.exe shows; a number in hex for a type it has no name for.
std::u16string TypeName(DWORD nType);

// The bytes to store for /d; throws CToolError when the text does not fit
// the type. No /d gives the type's empty value (0 for numbers).
// `separator` splits REG_MULTI_SZ strings; "\0" (two characters) by default.
std::vector<uint8_t> EncodeData(DWORD nType, const std::optional<std::u16string>& data,
                                const std::u16string& sSeparator);

// The data column of query: strings as text, numbers in 0x hex, the rest
// as upper-case hex digits, REG_MULTI_SZ strings joined by "\0".
std::u16string DisplayData(DWORD nType, const std::vector<uint8_t>& data);

}  // namespace vreg
