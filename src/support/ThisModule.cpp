#include "support/ThisModule.h"

#include <atomic>
#include <cstdlib>

namespace {

// Longer paths than this do not occur for a library loaded by name.
constexpr DWORD kPathCapacity = 1024;

std::atomic<HMODULE> g_hThisModule{nullptr};
// One library is all the capture thread loads at run time today; plain words,
// so that they outlive every static object.
std::atomic<HMODULE> g_hKept{nullptr};
std::atomic<void (*)()> g_pfnEndCaptures{nullptr};

void EndCapturesAtExit()
{
    if (void (*const pfnEnd)() = g_pfnEndCaptures.load())
        pfnEnd();
}

}  // namespace

void SetThisModule(HMODULE hModule) { g_hThisModule.store(hModule); }

HMODULE GetThisModule() { return g_hThisModule.load(); }

// LoadLibraryW of the module's own file: the one way that also exists on
// Windows 2000 (GetModuleHandleExW came with XP).
HMODULE HoldThisModule()
{
    const HMODULE hModule = g_hThisModule.load();
    if (!hModule)
        return nullptr;
    WCHAR szPath[kPathCapacity] = {};
    const DWORD nLen = GetModuleFileNameW(hModule, szPath, kPathCapacity);
    if (nLen == 0 || nLen >= kPathCapacity)
        return nullptr;
    return LoadLibraryW(szPath);
}

void SetCaptureEnder(void (*pfnEndCaptures)()) { g_pfnEndCaptures.store(pfnEndCaptures); }

void KeepLoadedForCaptures(const WCHAR* pszLibrary)
{
    if (g_hKept.load())
        return;
    const HMODULE hLibrary = LoadLibraryW(pszLibrary);
    HMODULE hNone = nullptr;
    if (!hLibrary || !g_hKept.compare_exchange_strong(hNone, hLibrary)) {
        if (hLibrary)
            FreeLibrary(hLibrary);
        return;
    }
    std::atexit(EndCapturesAtExit);
}

void ReleaseKeptLibraries()
{
    if (const HMODULE hLibrary = g_hKept.exchange(nullptr))
        FreeLibrary(hLibrary);
}
