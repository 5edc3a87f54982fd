#include "pal/modules/kernel32.h"

#include <unistd.h>

#include <cstring>

#include "pal/base/settings.h"
#include "pal/system/machine.h"
#include "pal/system/system.h"

namespace {

// Not declared in any header: like the library, callers reach them only
// through GetProcAddress.
void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO info);
BOOL WINAPI IsWow64Process(HANDLE process, PBOOL wow64);

constexpr DWORD kProcessorIntelPentium = 586;
constexpr DWORD kProcessorIntelIa64 = 2200;
constexpr DWORD kProcessorAmdX8664 = 8664;

// Its address is the module handle: unique, and never the base of a mapping.
const char kModuleTag = 0;

void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO info)
{
    if (!info)
        return;
    std::memset(info, 0, sizeof *info);
    switch (pal::SimulatedArch()) {
    case pal::EArch::X86:
        info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
        info->dwProcessorType = kProcessorIntelPentium;
        break;
    case pal::EArch::X64:
        info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
        info->dwProcessorType = kProcessorAmdX8664;
        break;
    case pal::EArch::IA64:
        info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_IA64;
        info->dwProcessorType = kProcessorIntelIa64;
        break;
    case pal::EArch::Unknown:
        info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_UNKNOWN;
        break;
    }
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    const DWORD count = online > 0 ? static_cast<DWORD>(online) : 1;
    const DWORD maskBits = static_cast<DWORD>(sizeof(DWORD_PTR) * 8);
    info->dwNumberOfProcessors = count;
    info->dwActiveProcessorMask = count >= maskBits ? ~DWORD_PTR(0) : (DWORD_PTR(1) << count) - 1;
    info->dwPageSize = 4096;
    info->dwAllocationGranularity = 65536;
    info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(0x10000);
    info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(
        pal::IsSimulated64Bit() && sizeof(void*) == 8 ? 0x7FFFFFFEFFFFull : 0x7FFEFFFFull);
    info->wProcessorLevel = 6;
}

// The process is the 32-bit build, so it runs under WOW64 on a 64-bit machine.
BOOL WINAPI IsWow64Process(HANDLE process, PBOOL wow64)
{
    if (process != GetCurrentProcess()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!wow64) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *wow64 = pal::IsSimulated64Bit() ? TRUE : FALSE;
    return TRUE;
}

bool IsMissing(const char* name) { return pal::SettingListHas("VESK_KERNEL32_MISSING", name); }

// void(*)() converts to and from any function pointer without a warning.
template <class F>
FARPROC AsFarProc(F* function)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

FARPROC Lookup(const char* name)
{
    struct SExport {
        const char* name;
        FARPROC address;
    };
    static const SExport kExports[] = {
        {"AddVectoredExceptionHandler", AsFarProc(&AddVectoredExceptionHandler)},
        {"GetNativeSystemInfo", AsFarProc(&GetNativeSystemInfo)},
        {"IsWow64Process", AsFarProc(&IsWow64Process)},
        {"RemoveVectoredExceptionHandler", AsFarProc(&RemoveVectoredExceptionHandler)},
    };
    for (const SExport& entry : kExports) {
        if (std::strcmp(entry.name, name) == 0)
            return entry.address;
    }
    return nullptr;
}

}  // namespace

namespace pal {

HMODULE Kernel32Module()
{
    return reinterpret_cast<HMODULE>(const_cast<char*>(&kModuleTag));
}

std::string Kernel32Path() { return SystemFolder() + "/kernel32.dll"; }

FARPROC Kernel32Export(const char* name)
{
    const FARPROC address = Lookup(name);
    if (!address || IsMissing(name)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return address;
}

}  // namespace pal
