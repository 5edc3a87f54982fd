// What differs between Windows and POSIX for the tool besides the console:
// files by name and deleting a key in a chosen registry view.
#pragma once
#include <string>
#include <vector>

#include "Console.h"
#include "Console.h"
#include "support/Win32.h"

namespace vreg {

using vtool::WriteErr;
using vtool::WriteOut;

// The whole file; false when it cannot be read.
bool ReadWholeFile(const std::u16string& path, std::string& bytes);
// Creates or replaces the file; false when it cannot be written.
bool WriteWholeFile(const std::u16string& path, const std::string& bytes);

// RegDeleteKeyW cannot choose a view on 64-bit Windows; this can.
LSTATUS DeleteSubKey(HKEY hParent, const std::u16string& sName, REGSAM nView);

// The shared program behind the platform's entry point.
int Run(const std::vector<std::u16string>& args);

}  // namespace vreg
