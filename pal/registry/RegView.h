// Registry views: on a simulated 64-bit system (VESK_ARCH) our process is a
// 32-bit one, and its view of HKLM\SOFTWARE is redirected to Wow6432Node
// unless the call asks for the 64-bit view.
#pragma once
#include <string>
#include <vector>

#include "pal/base/wintypes.h"
#include "pal/registry/HiveLocation.h"

namespace pal::registry {

// ERROR_INVALID_PARAMETER when both view flags are given, or any view flag on
// Windows 2000 (VESK_WINVER 5.0), which does not know them.
LSTATUS CheckViewFlags(REGSAM desired);

// Whether a call with this access resolves paths in the redirected view.
bool UsesRedirectedView(REGSAM desired);

// HKLM\SOFTWARE[\x...] becomes HKLM\SOFTWARE\Wow6432Node[\x...] when
// `redirected`; paths already inside Wow6432Node stay as they are.
void RedirectPath(HiveId hive, std::vector<std::u16string>& path, bool redirected);

}  // namespace pal::registry
