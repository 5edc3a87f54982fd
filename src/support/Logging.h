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

// The level test and the write in one: `build` makes the line (a WString or
// anything that converts to one) only when the level is on.
template <class TBuild>
void LogErrorLine(TBuild&& build)
{
    if (IsErrorEnabled())
        LogError(WString(build()).c_str());
}

template <class TBuild>
void LogWarningLine(TBuild&& build)
{
    if (IsWarningEnabled())
        LogWarning(WString(build()).c_str());
}

template <class TBuild>
void LogDebugLine(TBuild&& build)
{
    if (IsDebugEnabled())
        LogDebug(WString(build()).c_str());
}
