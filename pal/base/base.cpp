#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <sstream>
#include <mutex>
#include <unordered_map>

#include "pal/base/handles.h"
#include "pal/base/lasterror.h"
#include "pal/base/lasting.h"
#include "pal/base/settings.h"

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

// The SetLastError functions of the modules that loaded this one (see
// lasterror.h). Constant-initialised words, as the lasting table's below.
constexpr int kAdopterCapacity = 8;
std::atomic<PFN_VESK_SET_LAST_ERROR> g_adopters[kAdopterCapacity];
// Set while this thread passes a code on, so that two modules that adopted
// each other do not pass it back and forth.
thread_local bool t_bForwarding = false;

// Handle values mimic the kernel's: multiples of 4, never reused within a
// process, far below the predefined registry roots.
struct HandleTable {
    std::mutex lock;
    std::unordered_map<uintptr_t, std::shared_ptr<pal::CKernelObject>> objects;
    uintptr_t next = 0x100;
};

struct SettingOverrides {
    std::mutex lock;
    std::map<std::string, std::string> values;
};

// The exit handler belongs to the module holding this copy of pal/, so that
// unloading a library runs it then (plain atexit() may not keep the module).
extern "C" int __cxa_atexit(void (*handler)(void*), void* argument, void* module);
extern "C" void* __dso_handle __attribute__((__visibility__("hidden")));

// Plain words, constant-initialised: usable before any constructor and after
// every destructor of the module.
constexpr int kLastingCapacity = 32;
std::atomic<int> g_nLasting{0};
std::atomic<void (*)()> g_lastingReleases[kLastingCapacity];

void ReleaseLastingTables(void*)
{
    for (int i = std::min(g_nLasting.exchange(0), kLastingCapacity) - 1; i >= 0; --i) {
        if (void (*const release)() = g_lastingReleases[i].exchange(nullptr))
            release();
    }
}

// Registered before any static constructor of the module runs, so that it
// is the module's last exit handler.
__attribute__((constructor(101))) void RegisterLastingRelease()
{
    __cxa_atexit(ReleaseLastingTables, nullptr, &__dso_handle);
}

HandleTable& Table() { return pal::CLasting<HandleTable>::Get(); }
SettingOverrides& Overrides() { return pal::CLasting<SettingOverrides>::Get(); }

}  // namespace

DWORD WINAPI GetLastError() { return t_lastError; }
void WINAPI SetLastError(DWORD code)
{
    t_lastError = code;
    if (t_bForwarding)
        return;
    t_bForwarding = true;
    for (const std::atomic<PFN_VESK_SET_LAST_ERROR>& slot : g_adopters) {
        if (const PFN_VESK_SET_LAST_ERROR pfnSet = slot.load(std::memory_order_acquire))
            pfnSet(code);
    }
    t_bForwarding = false;
}

extern "C" void VeskPalAdoptLastError(PFN_VESK_SET_LAST_ERROR pfnSetLastError, BOOL bAdopt)
{
    if (!pfnSetLastError || pfnSetLastError == &SetLastError)
        return;
    if (!bAdopt) {
        for (std::atomic<PFN_VESK_SET_LAST_ERROR>& slot : g_adopters) {
            PFN_VESK_SET_LAST_ERROR expected = pfnSetLastError;
            slot.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
        }
        return;
    }
    for (const std::atomic<PFN_VESK_SET_LAST_ERROR>& slot : g_adopters) {
        if (slot.load(std::memory_order_acquire) == pfnSetLastError)
            return;
    }
    // Past the capacity a loader goes without: its GetLastError then misses
    // this library's codes, as before the hook existed.
    for (std::atomic<PFN_VESK_SET_LAST_ERROR>& slot : g_adopters) {
        PFN_VESK_SET_LAST_ERROR expected = nullptr;
        if (slot.compare_exchange_strong(expected, pfnSetLastError, std::memory_order_acq_rel))
            return;
    }
}

namespace pal {

void ReleaseAtModuleExit(void (*release)())
{
    const int nSlot = g_nLasting.fetch_add(1);
    if (nSlot < kLastingCapacity)
        g_lastingReleases[nSlot].store(release);
}

DWORD CKernelObject::Wait(DWORD)
{
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

HANDLE InsertHandle(std::shared_ptr<CKernelObject> object)
{
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    const uintptr_t value = table.next;
    table.next += 4;
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<CKernelObject> FindHandle(HANDLE handle)
{
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    const auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == table.objects.end() ? nullptr : it->second;
}

bool RemoveHandle(HANDLE handle)
{
    std::shared_ptr<CKernelObject> last;  // destroyed outside the lock
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    const auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == table.objects.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    last = std::move(it->second);
    table.objects.erase(it);
    return true;
}

std::string GetSetting(const char* name, const std::string& fallback)
{
    {
        SettingOverrides& overrides = Overrides();
        std::lock_guard<std::mutex> guard(overrides.lock);
        const auto it = overrides.values.find(name);
        if (it != overrides.values.end())
            return it->second;
    }
    const char* value = std::getenv(name);
    return value ? std::string(value) : fallback;
}

bool HasSetting(const char* name)
{
    {
        SettingOverrides& overrides = Overrides();
        std::lock_guard<std::mutex> guard(overrides.lock);
        if (overrides.values.count(name))
            return true;
    }
    return std::getenv(name) != nullptr;
}

bool SettingListHas(const char* name, const char* item)
{
    std::istringstream list(GetSetting(name));
    for (std::string entry; std::getline(list, entry, ',');) {
        const size_t first = entry.find_first_not_of(" \t");
        const size_t last = entry.find_last_not_of(" \t");
        if (first != std::string::npos && entry.compare(first, last - first + 1, item) == 0)
            return true;
    }
    return false;
}

void SetSetting(const char* name, const std::string& value)
{
    SettingOverrides& overrides = Overrides();
    std::lock_guard<std::mutex> guard(overrides.lock);
    overrides.values[name] = value;
}

void ClearSetting(const char* name)
{
    SettingOverrides& overrides = Overrides();
    std::lock_guard<std::mutex> guard(overrides.lock);
    overrides.values.erase(name);
}

void ClearAllSettings()
{
    SettingOverrides& overrides = Overrides();
    std::lock_guard<std::mutex> guard(overrides.lock);
    overrides.values.clear();
}

}  // namespace pal

BOOL WINAPI CloseHandle(HANDLE handle)
{
    return pal::RemoveHandle(handle) ? TRUE : FALSE;
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    const std::shared_ptr<pal::CKernelObject> object = pal::FindHandle(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return object->Wait(milliseconds);
}
