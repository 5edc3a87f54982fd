// Kernel handles: small numbers owned by pal/ that name shared objects.
// A stale or foreign handle is detected (ERROR_INVALID_HANDLE) instead of
// being dereferenced.
#pragma once
#include <memory>

#include "pal/base/lasterror.h"

namespace pal {

class CKernelObject {
public:
    virtual ~CKernelObject() = default;
    // Waitable objects override this; the others fail the Win32 way.
    virtual DWORD Wait(DWORD milliseconds);
};

HANDLE InsertHandle(std::shared_ptr<CKernelObject> object);
std::shared_ptr<CKernelObject> FindHandle(HANDLE handle);
// Forgets the handle; the object lives on while other references hold it.
// False (ERROR_INVALID_HANDLE set) when the handle is unknown.
bool RemoveHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> FindHandleOf(HANDLE handle)
{
    return std::dynamic_pointer_cast<T>(FindHandle(handle));
}

}  // namespace pal

BOOL WINAPI CloseHandle(HANDLE handle);
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);
