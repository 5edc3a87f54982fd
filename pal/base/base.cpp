#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>
#include <sstream>
#include <mutex>
#include <unordered_map>

#include "pal/base/handles.h"
#include "pal/base/lasting.h"
#include "pal/base/settings.h"

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

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
void WINAPI SetLastError(DWORD code) { t_lastError = code; }

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
