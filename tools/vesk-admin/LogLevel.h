// The library's four log levels by name: a line is written when the
// configured level is at least that of its severity.
#pragma once
#include <cstdint>
#include <string>

namespace vadmin {

// Null outside 1-4.
const char16_t* LevelName(uint32_t nLevel);
// A name in any case or a digit 1-4; false for anything else.
bool ParseLevel(const std::u16string& sText, uint32_t& nLevel);

}  // namespace vadmin
