// The object behind mutex handles: a robust, recursive, process-shared
// pthread mutex in a shared block. One per name and process; handles share it.
#pragma once
#include <sys/types.h>

#include <memory>
#include <mutex>
#include <string>

#include "pal/sync/CSharedFile.h"

namespace pal {

class CSharedMutex : public std::enable_shared_from_this<CSharedMutex> {
public:
    // Named when `path` (the file behind it) is given, else private.
    DWORD Open(const std::string& path, CSharedFile::EOpen mode, bool& existed);
    DWORD OpenPrivate();

    // WAIT_OBJECT_0, WAIT_ABANDONED (the owner died; the caller owns it now),
    // WAIT_TIMEOUT, or WAIT_FAILED with the last error set.
    DWORD Wait(DWORD milliseconds);
    // ERROR_SUCCESS, or ERROR_NOT_OWNER when the calling thread does not own it.
    DWORD Release();

    // Whether this process made the shared object rather than found it.
    bool CreatedHere() const { return m_bCreatedHere; }

private:
    void _NoteAcquired(bool abandoned);

    CSharedFile m_oFile;
    bool m_bCreatedHere = true;
    std::mutex m_mState;  // guards the owner fields below
    pid_t m_iOwner = 0;  // the thread of this process that owns the mutex, if any
    unsigned m_nLevels = 0;
    // Set while a thread of this process owns the mutex: a robust mutex that
    // is unmapped while locked can no longer be marked abandoned when its
    // owner dies, so the last CloseHandle must not unmap it.
    std::shared_ptr<CSharedMutex> m_pWhileOwned;
};

}  // namespace pal
