// Win32 codes for failed POSIX path operations.
#pragma once
#include <string>

#include "pal/base/wintypes.h"

namespace pal {

// ENOENT splits as on Windows: a missing file in an existing folder is
// ERROR_FILE_NOT_FOUND, a missing folder on the way ERROR_PATH_NOT_FOUND.
DWORD Win32ErrorFromErrno(int error, const std::string& posixPath);

}  // namespace pal
