// Mutex handles: each carries its granted access and shares the process's
// one CSharedMutex per name.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "pal/base/lasting.h"
#include "pal/sync/CSharedMutex.h"
#include "pal/sync/MutexName.h"
#include "pal/sync/sync.h"

namespace {

// What the simulated DACL of a denied mutex grants other accounts.
constexpr DWORD kPublicRights = SYNCHRONIZE | READ_CONTROL | MUTEX_MODIFY_STATE;

class CMutexHandle : public pal::CKernelObject {
public:
    CMutexHandle(std::shared_ptr<pal::CSharedMutex> mutex, DWORD access)
        : m_pMutex(std::move(mutex)), m_dwAccess(access)
    {
    }

    DWORD Wait(DWORD milliseconds) override
    {
        if (!(m_dwAccess & SYNCHRONIZE)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return WAIT_FAILED;
        }
        return m_pMutex->Wait(milliseconds);
    }

    pal::CSharedMutex& Mutex() const { return *m_pMutex; }

private:
    std::shared_ptr<pal::CSharedMutex> m_pMutex;
    DWORD m_dwAccess;
};

// Generic rights as the mutant type maps them.
DWORD SpecificRights(DWORD access, bool denied)
{
    if (access & (GENERIC_ALL | MAXIMUM_ALLOWED))
        access |= denied ? kPublicRights : MUTEX_ALL_ACCESS;
    if (access & GENERIC_READ)
        access |= READ_CONTROL | MUTEX_MODIFY_STATE;
    if (access & (GENERIC_WRITE | GENERIC_EXECUTE))
        access |= READ_CONTROL;
    if (access & GENERIC_EXECUTE)
        access |= SYNCHRONIZE;
    return access & MUTEX_ALL_ACCESS;
}

struct MutexTable {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<pal::CSharedMutex>> byPath;
};

MutexTable& Table()
{
    return pal::CLasting<MutexTable>::Get();
}

// The process's object for the name, found or made; the lock is held while
// opening so that all live handles of a process share one mapping.
DWORD FindOrOpen(const std::string& path, pal::CSharedFile::EOpen mode,
                 std::shared_ptr<pal::CSharedMutex>& mutex, bool& existed)
{
    MutexTable& table = Table();
    const std::lock_guard<std::mutex> guard(table.lock);
    for (auto it = table.byPath.begin(); it != table.byPath.end();)
        it = it->second.expired() ? table.byPath.erase(it) : std::next(it);
    // An object whose last handle is closing right now counts as gone.
    if ((mutex = table.byPath[path].lock())) {
        existed = true;
        return ERROR_SUCCESS;
    }
    auto opened = std::make_shared<pal::CSharedMutex>();
    const DWORD result = opened->Open(path, mode, existed);
    if (result != ERROR_SUCCESS) {
        table.byPath.erase(path);
        return result;
    }
    table.byPath[path] = opened;
    mutex = std::move(opened);
    return ERROR_SUCCESS;
}

HANDLE Fail(DWORD error)
{
    SetLastError(error);
    return nullptr;
}

HANDLE Publish(std::shared_ptr<pal::CSharedMutex> mutex, DWORD access)
{
    return pal::InsertHandle(std::make_shared<CMutexHandle>(std::move(mutex), access));
}

HANDLE CreatePrivate(BOOL initialOwner)
{
    auto mutex = std::make_shared<pal::CSharedMutex>();
    const DWORD result = mutex->OpenPrivate();
    if (result != ERROR_SUCCESS)
        return Fail(result);
    if (initialOwner)
        mutex->Wait(0);
    const HANDLE handle = Publish(std::move(mutex), MUTEX_ALL_ACCESS);
    SetLastError(ERROR_SUCCESS);
    return handle;
}

// The named object behind `name`, found, joined or (as `mode` allows) made.
DWORD OpenNamed(LPCWSTR name, pal::CSharedFile::EOpen mode, std::u16string& canonical,
                std::shared_ptr<pal::CSharedMutex>& mutex, bool& existed)
{
    const DWORD result = pal::CanonicalMutexName(name, canonical);
    if (result != ERROR_SUCCESS)
        return result;
    return FindOrOpen(pal::MutexFilePath(canonical), mode, mutex, existed);
}

}  // namespace

// Inheritance is not offered: no process is started with our handles.
HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCWSTR name)
{
    if (!name || !*name)
        return CreatePrivate(initialOwner);
    std::u16string canonical;
    std::shared_ptr<pal::CSharedMutex> mutex;
    bool existed = false;
    const DWORD result =
        OpenNamed(name, pal::CSharedFile::EOpen::CreateOrJoin, canonical, mutex, existed);
    if (result != ERROR_SUCCESS)
        return Fail(result);
    // MUTEX_ALL_ACCESS is what opening an existing mutex asks for here.
    if (existed && !mutex->CreatedHere() && pal::IsMutexDenied(canonical))
        return Fail(ERROR_ACCESS_DENIED);
    if (initialOwner && !existed)
        mutex->Wait(0);
    const HANDLE handle = Publish(std::move(mutex), MUTEX_ALL_ACCESS);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

HANDLE WINAPI OpenMutexW(DWORD access, BOOL, LPCWSTR name)
{
    if (!name || !*name)
        return Fail(ERROR_INVALID_PARAMETER);
    std::u16string canonical;
    std::shared_ptr<pal::CSharedMutex> mutex;
    bool existed = false;
    const DWORD result =
        OpenNamed(name, pal::CSharedFile::EOpen::JoinOnly, canonical, mutex, existed);
    if (result != ERROR_SUCCESS)
        return Fail(result);
    const bool denied = !mutex->CreatedHere() && pal::IsMutexDenied(canonical);
    const DWORD granted = SpecificRights(access, denied);
    if (denied && (granted & ~kPublicRights))
        return Fail(ERROR_ACCESS_DENIED);
    const HANDLE handle = Publish(std::move(mutex), granted);
    SetLastError(ERROR_SUCCESS);
    return handle;
}

BOOL WINAPI ReleaseMutex(HANDLE mutex)
{
    const auto object = pal::FindHandleOf<CMutexHandle>(mutex);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const DWORD result = object->Mutex().Release();
    if (result != ERROR_SUCCESS) {
        SetLastError(result);
        return FALSE;
    }
    return TRUE;
}
