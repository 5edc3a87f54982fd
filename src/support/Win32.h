// The one platform include of the library: the real Windows headers on
// Windows, our platform layer elsewhere. Platform differences end here.
#pragma once

#ifdef _WIN32
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0500  // Windows 2000: newer functions are bound at run time
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef PSAPI_VERSION
#define PSAPI_VERSION 1  // psapi.dll's own names; kernel32's K32* came with Windows 7
#endif
#include <windows.h>
#include <wincrypt.h>
#include <process.h>
#include <psapi.h>
#include <shlobj.h>
#include <wtsapi32.h>
#ifndef _stdcall
#define _stdcall __stdcall  // the spelling cchannel.h uses
#endif
#include <cchannel.h>
#define W(s) L##s
// The Windows loader calls DllMain itself; nothing to do here.
class CModuleAttachment {
public:
    typedef BOOL(WINAPI* EntryPoint)(HINSTANCE, DWORD, LPVOID);
    explicit CModuleAttachment(EntryPoint) {}
};
#else
#include "pal/windows.h"
#endif

#include <string>

using WString = std::basic_string<WCHAR>;
