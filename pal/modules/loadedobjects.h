// The objects the dynamic loader has mapped into this process. As on
// Windows, a module is known by its base address.
#pragma once
#include <string>

namespace pal {

// Base address of the loaded object that contains `address`, or null.
void* ObjectBaseOf(const void* address);
// Path of the loaded object based at `base`; empty when there is none.
std::string ObjectPath(const void* base);
bool IsMainProgram(const void* base);
std::string MainProgramPath();

}  // namespace pal
