#include "support/ThisModule.h"

#include <atomic>

namespace {

// Longer paths than this do not occur for a library loaded by name.
constexpr DWORD kPathCapacity = 1024;

std::atomic<HMODULE> g_hThisModule{nullptr};

}  // namespace

void SetThisModule(HMODULE hModule) { g_hThisModule.store(hModule); }

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
