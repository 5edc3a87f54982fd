// What differs between Windows and POSIX for the tool besides the console:
// deleting a key in a chosen registry view.
#pragma once
#include <string>
#include <vector>

#include "Console.h"
#include "support/Win32.h"

namespace vreg {

using vtool::WriteErr;
using vtool::WriteOut;

// RegDeleteKeyW cannot choose a view on 64-bit Windows; this can.
LSTATUS DeleteSubKey(HKEY hParent, const std::u16string& sName, REGSAM nView);

// The shared program behind the platform's entry point.
int Run(const std::vector<std::u16string>& args);

}  // namespace vreg
