#include "pal/services/services.h"

#include <cstring>
#include <memory>
#include <string>

#include "pal/registry/HiveLocation.h"
#include "pal/registry/registry.h"

namespace {

constexpr DWORD kStatusBytes = sizeof(SERVICE_STATUS_PROCESS);
static_assert(kStatusBytes == 36);
constexpr size_t kMaxServiceName = 256;
constexpr const char16_t* kServicesKey = u"SYSTEM\\CurrentControlSet\\Services\\";
constexpr const char16_t* kStateValue = u"CurrentState";
constexpr const char16_t* kTypeValue = u"Type";

// How one kind of object maps the generic rights, and what an ordinary user
// may hold on it.
struct RightsTable {
    ACCESS_MASK read, write, execute, all, user;
};

constexpr RightsTable kManagerRights{
    READ_CONTROL | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS,
    READ_CONTROL | SC_MANAGER_CREATE_SERVICE | SC_MANAGER_MODIFY_BOOT_CONFIG,
    READ_CONTROL | SC_MANAGER_CONNECT | SC_MANAGER_LOCK,
    SC_MANAGER_ALL_ACCESS,
    READ_CONTROL | SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_QUERY_LOCK_STATUS};

constexpr RightsTable kServiceRights{
    READ_CONTROL | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE |
        SERVICE_ENUMERATE_DEPENDENTS,
    READ_CONTROL | SERVICE_CHANGE_CONFIG,
    READ_CONTROL | SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
        SERVICE_USER_DEFINED_CONTROL,
    SERVICE_ALL_ACCESS,
    READ_CONTROL | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS |
        SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL};

class CScObject : public pal::CKernelObject {
public:
    explicit CScObject(ACCESS_MASK granted) : m_nGranted(granted) {}
    bool Holds(ACCESS_MASK rights) const { return (m_nGranted & rights) == rights; }

private:
    const ACCESS_MASK m_nGranted;
};

class CScManager : public CScObject {
public:
    using CScObject::CScObject;
};

class CScService : public CScObject {
public:
    CScService(ACCESS_MASK granted, std::u16string sName)
        : CScObject(granted), m_sName(std::move(sName))
    {
    }
    const std::u16string& Name() const { return m_sName; }

private:
    const std::u16string m_sName;
};

template <class T>
T* Fail(DWORD code)
{
    SetLastError(code);
    return nullptr;
}

// The rights the access check grants for `desired`; false with
// ERROR_ACCESS_DENIED when the process may not hold them all.
bool Grant(const RightsTable& rights, ACCESS_MASK desired, ACCESS_MASK& granted)
{
    const bool bAdministrator = pal::registry::HiveWritable(pal::registry::HiveId::LocalMachine);
    const ACCESS_MASK allowed = bAdministrator ? rights.all : rights.user;
    if (desired & MAXIMUM_ALLOWED) {
        granted = allowed;
        return true;
    }
    ACCESS_MASK asked = desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
    if (desired & GENERIC_READ)
        asked |= rights.read;
    if (desired & GENERIC_WRITE)
        asked |= rights.write;
    if (desired & GENERIC_EXECUTE)
        asked |= rights.execute;
    if (desired & GENERIC_ALL)
        asked |= rights.all;
    if ((asked & allowed) != asked) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    granted = asked;
    return true;
}

bool EqualsNoCase(const char16_t* text, const char16_t* ascii)
{
    const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; };
    for (; *text && *ascii; ++text, ++ascii) {
        if (lower(*text) != lower(*ascii))
            return false;
    }
    return *text == *ascii;
}

bool IsValidServiceName(const char16_t* name)
{
    const std::u16string sName(name);
    return !sName.empty() && sName.size() <= kMaxServiceName &&
        sName.find_first_of(u"/\\") == std::u16string::npos;
}

// A 4-byte REG_DWORD of the key, or `fallback`.
DWORD ReadDword(HKEY key, const char16_t* valueName, DWORD fallback)
{
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    const LSTATUS status =
        RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value ? value : fallback;
}

// The service's record from its key; a key that is gone reports stopped.
LSTATUS ReadStatus(const std::u16string& name, SERVICE_STATUS_PROCESS& status)
{
    status = SERVICE_STATUS_PROCESS{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = SERVICE_STOPPED;
    HKEY key = nullptr;
    const LSTATUS opened =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kServicesKey + name).c_str(), 0, KEY_QUERY_VALUE, &key);
    if (opened == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (opened != ERROR_SUCCESS)
        return opened;
    status.dwServiceType = ReadDword(key, kTypeValue, SERVICE_WIN32_OWN_PROCESS);
    status.dwCurrentState = ReadDword(key, kStateValue, SERVICE_STOPPED);
    RegCloseKey(key);
    if (status.dwCurrentState == SERVICE_RUNNING || status.dwCurrentState == SERVICE_PAUSED)
        status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;
    return ERROR_SUCCESS;
}

}  // namespace

SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR machine, LPCWSTR database, DWORD desired)
{
    if (machine && *machine)
        return Fail<SC_HANDLE__>(RPC_S_SERVER_UNAVAILABLE);
    if (database && *database) {
        if (EqualsNoCase(database, SERVICES_FAILED_DATABASEW))
            return Fail<SC_HANDLE__>(ERROR_DATABASE_DOES_NOT_EXIST);
        if (!EqualsNoCase(database, SERVICES_ACTIVE_DATABASEW))
            return Fail<SC_HANDLE__>(ERROR_INVALID_NAME);
    }
    ACCESS_MASK granted = 0;
    if (!Grant(kManagerRights, desired, granted))
        return nullptr;
    return reinterpret_cast<SC_HANDLE>(
        pal::InsertHandle(std::make_shared<CScManager>(granted | SC_MANAGER_CONNECT)));
}

SC_HANDLE WINAPI OpenServiceW(SC_HANDLE manager, LPCWSTR name, DWORD desired)
{
    if (!pal::FindHandleOf<CScManager>(manager))
        return Fail<SC_HANDLE__>(ERROR_INVALID_HANDLE);
    if (!name)
        return Fail<SC_HANDLE__>(ERROR_INVALID_ADDRESS);
    if (!IsValidServiceName(name))
        return Fail<SC_HANDLE__>(ERROR_INVALID_NAME);
    HKEY key = nullptr;
    const LSTATUS opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kServicesKey + std::u16string(name)).c_str(),
                                         0, KEY_QUERY_VALUE, &key);
    if (opened != ERROR_SUCCESS)
        return Fail<SC_HANDLE__>(opened == ERROR_FILE_NOT_FOUND ? ERROR_SERVICE_DOES_NOT_EXIST : opened);
    RegCloseKey(key);
    ACCESS_MASK granted = 0;
    if (!Grant(kServiceRights, desired, granted))
        return nullptr;
    return reinterpret_cast<SC_HANDLE>(pal::InsertHandle(std::make_shared<CScService>(granted, name)));
}

BOOL WINAPI QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE level, LPBYTE buffer,
                                 DWORD bufferSize, LPDWORD bytesNeeded)
{
    const std::shared_ptr<CScService> object = pal::FindHandleOf<CScService>(service);
    DWORD code = ERROR_SUCCESS;
    if (!object)
        code = ERROR_INVALID_HANDLE;
    else if (level != SC_STATUS_PROCESS_INFO)
        code = ERROR_INVALID_LEVEL;
    else if (!bytesNeeded)
        code = ERROR_INVALID_ADDRESS;
    else if (bufferSize < kStatusBytes) {
        *bytesNeeded = kStatusBytes;
        code = ERROR_INSUFFICIENT_BUFFER;
    } else if (!buffer)
        code = ERROR_INVALID_ADDRESS;
    else if (!object->Holds(SERVICE_QUERY_STATUS))
        code = ERROR_ACCESS_DENIED;
    SERVICE_STATUS_PROCESS status;
    if (code == ERROR_SUCCESS)
        code = static_cast<DWORD>(ReadStatus(object->Name(), status));
    if (code != ERROR_SUCCESS) {
        SetLastError(code);
        return FALSE;
    }
    // The caller's buffer need not be aligned for the record.
    std::memcpy(buffer, &status, kStatusBytes);
    return TRUE;
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE handle)
{
    if (!pal::FindHandleOf<CScObject>(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return pal::RemoveHandle(handle) ? TRUE : FALSE;
}
