// The layout of reg.exe's query: a blank line, the key's full name, then one
// line per value ("    name    TYPE    data").
#pragma once
#include <string>
#include <vector>

#include "regtext/RegText.h"

namespace vreg {

std::u16string FormatValueLine(const regtext::Value& value);
std::u16string FormatKeyBlock(const std::u16string& sFullName,
                              const std::vector<regtext::Value>& values);
// reg.exe's line for a default value that holds nothing.
std::u16string FormatUnsetDefaultLine();

}  // namespace vreg
