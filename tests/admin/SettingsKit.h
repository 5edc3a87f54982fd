// Registry values of any key, written and read byte by byte in the test
// process, for the commands that keep the library's and the simulators'
// settings.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "AdminKit.h"

namespace admintest {

struct CStored {
    bool present = false;
    DWORD type = REG_NONE;
    Bytes data;
};

void Store(HKEY root, const std::u16string& key, const std::u16string& name, DWORD type,
           const Bytes& data);
void Remove(HKEY root, const std::u16string& key, const std::u16string& name);
CStored Stored(HKEY root, const std::u16string& key, const std::u16string& name);

Bytes Dword(uint32_t value);
Bytes Sz(const std::u16string& text);
Bytes MultiSz(const std::vector<std::u16string>& texts);

}  // namespace admintest
