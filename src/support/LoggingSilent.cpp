// Logging stays silent until the file logger is built: every level is off.
#include "support/Logging.h"

void LogError(const WCHAR*) {}
void LogWarning(const WCHAR*) {}
void LogInfo(const WCHAR*) {}
void LogDebug(const WCHAR*) {}

bool IsErrorEnabled() { return false; }
bool IsWarningEnabled() { return false; }
bool IsInfoEnabled() { return false; }
bool IsDebugEnabled() { return false; }
