// Windows module names on a POSIX file system: NAME.dll is libNAME.so.
#pragma once
#include <string>

namespace pal {

struct SLibraryName {
    std::string directory;     // up to and including the last '/'; empty for a bare name
    std::string windowsName;   // the file name Windows would look for
    std::string sharedObject;  // libNAME.so
};

// posixPath has '/' separators. A name without extension means NAME.dll and
// a trailing dot means no extension, as LoadLibrary reads them; any other
// extension stays part of NAME. A libNAME.so (what GetModuleFileNameW
// answers) names that file itself.
SLibraryName ParseLibraryName(const std::string& posixPath);

// The file to dlopen: beside the caller, then in the system folder, then
// the bare name for the loader's own search. A name with a directory is
// looked for there only; empty when it is missing.
std::string LocateLibrary(const SLibraryName& name, const std::string& callerFolder);

bool EqualsIgnoringCase(const std::string& a, const std::string& b);

}  // namespace pal
