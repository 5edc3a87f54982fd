// Registry names: compared without regard to case, kept as first written.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace pal::registry {

// Simple upper-case mapping (ASCII, Latin-1, Greek, Cyrillic), the order in
// which the registry sorts subkeys.
char16_t FoldChar(char16_t c);
std::u16string FoldName(std::u16string_view name);
bool SameName(std::u16string_view a, std::u16string_view b);

// Splits a key path at '\'; empty parts (doubled or trailing separators) go.
std::vector<std::u16string> SplitPath(std::u16string_view path);

}  // namespace pal::registry
