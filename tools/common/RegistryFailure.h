// A registry call's failure in an error line: the code and what it means,
// and where the platform layer kept one, the hive file and line or the
// system's reason behind it.
#pragma once
#include <string>

#include "support/Win32.h"

namespace vtool {

// "access is denied (Win32 error 5)", "not found (Win32 error 2)",
// "Win32 error 1009: the hive '...' is damaged, line 3: ...".
std::u16string RegistryFailure(LSTATUS nStatus);

}  // namespace vtool
