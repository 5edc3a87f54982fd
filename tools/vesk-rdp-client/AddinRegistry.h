// The add-ins a Remote Desktop client loads: the subkeys of
// HKCU\Software\Microsoft\Terminal Server Client\Default\AddIns (64-bit
// view), each naming its library by a full path in the REG_SZ value "Name".
#pragma once
#include <string>
#include <vector>

namespace vrdpc {

extern const char16_t* const kAddinsKey;

struct SAddinRegistration {
    std::u16string sKey;      // the subkey's name
    std::u16string sPath;     // empty when sProblem says why
    std::u16string sProblem;  // "has no REG_SZ value 'Name'"
};

// In the registry's order; empty when the key is missing or has no subkeys.
std::vector<SAddinRegistration> ReadAddinRegistrations();

}  // namespace vrdpc
