// The library's diagnostic log: four writers and four level tests. Callers
// test the level first and build a message only when it will be written.
#pragma once
#include "support/Win32.h"

void LogError(const WCHAR* pszText);
void LogWarning(const WCHAR* pszText);
void LogInfo(const WCHAR* pszText);
void LogDebug(const WCHAR* pszText);

bool IsErrorEnabled();
bool IsWarningEnabled();
bool IsInfoEnabled();
bool IsDebugEnabled();
