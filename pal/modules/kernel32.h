// The built-in kernel32.dll: the functions that callers bind at run time
// because older Windows versions lack them.
#pragma once
#include <string>

#include "pal/base/wintypes.h"

namespace pal {

HMODULE Kernel32Module();
std::string Kernel32Path();
// Null with ERROR_PROC_NOT_FOUND when unknown or listed in VESK_KERNEL32_MISSING.
FARPROC Kernel32Export(const char* name);

}  // namespace pal
