#include "support/CWinOS.h"

#include <atomic>
#include <cstring>

#include "support/CLibraryFunction.h"

namespace {

typedef void(WINAPI* GetNativeSystemInfoFn)(LPSYSTEM_INFO);
typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE, PBOOL);

// A computed-once answer. Two first callers may both compute it; they store
// the same value, so no lock is needed.
class CCachedAnswer {
public:
    template <class TCompute>
    bool Get(TCompute compute)
    {
        if (!m_bComputed.load(std::memory_order_acquire)) {
            m_bValue.store(compute(), std::memory_order_relaxed);
            m_bComputed.store(true, std::memory_order_release);
        }
        return m_bValue.load(std::memory_order_relaxed);
    }

private:
    std::atomic<bool> m_bComputed{false};
    std::atomic<bool> m_bValue{false};
};

CCachedAnswer g_is64BitSystem;
CCachedAnswer g_isWow64;

bool ComputeIs64BitSystem()
{
    OSVERSIONINFOEXW info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = 284;
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)))
        return false;
    if (info.dwMajorVersion < 5 || (info.dwMajorVersion == 5 && info.dwMinorVersion < 1))
        return false;
    CLibraryFunction function(W("kernel32.dll"), "GetNativeSystemInfo");
    const auto getNativeSystemInfo = function.As<GetNativeSystemInfoFn>();
    if (!getNativeSystemInfo)
        return false;
    SYSTEM_INFO system;
    std::memset(&system, 0, sizeof system);
    getNativeSystemInfo(&system);
    return system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

bool ComputeIsWow64()
{
    if (!CWinOS::Is64BitSystem())
        return false;
    CLibraryFunction function(W("kernel32.dll"), "IsWow64Process");
    const auto isWow64Process = function.As<IsWow64ProcessFn>();
    BOOL bWow64 = FALSE;
    return isWow64Process && isWow64Process(GetCurrentProcess(), &bWow64) && bWow64;
}

}  // namespace

bool CWinOS::Is64BitSystem() { return g_is64BitSystem.Get(ComputeIs64BitSystem); }

bool CWinOS::IsWow64() { return g_isWow64.Get(ComputeIsWow64); }
