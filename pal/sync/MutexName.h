// Names of mutexes: their namespaces, the files behind them and the
// simulated access denial.
#pragma once
#include <string>

#include "pal/base/wintypes.h"

namespace pal {

// "Global\x" or "Local\x"; an unprefixed name is Local, as on Windows. Both
// namespaces are machine-wide here but stay apart. ERROR_PATH_NOT_FOUND for
// a backslash after the prefix, ERROR_FILENAME_EXCED_RANGE beyond MAX_PATH.
DWORD CanonicalMutexName(LPCWSTR name, std::u16string& canonical);

// The file behind a named mutex, in VESK_OBJECTS_DIR: characters other than
// [A-Za-z0-9._-] are escaped, and long names end in a hash of the full name.
std::string MutexFilePath(const std::u16string& canonical);

// VESK_MUTEX_DENIED lists mutexes that other accounts made and that this
// process may open for SYNCHRONIZE only.
bool IsMutexDenied(const std::u16string& canonical);

}  // namespace pal
