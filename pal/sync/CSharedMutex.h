// The object behind mutex handles: a robust, recursive, process-shared
// pthread mutex in a shared block. One per name and process; handles share it.
#pragma once
#include <sys/types.h>

#include <memory>
#include <mutex>
#include <string>

#include "pal/sync/CSharedFile.h"
#include "pal/sync/MutexBlock.h"

namespace pal {

class CSharedMutex : public std::enable_shared_from_this<CSharedMutex> {
public:
    // Named when `path` (the file behind it) is given, else private. A named
    // one's block is checked as it is joined and at each wait; what is found
    // damaged is repaired and reported on the debugger output.
    DWORD Open(const std::string& path, CSharedFile::EOpen mode, bool& existed);
    DWORD OpenPrivate();

    // WAIT_OBJECT_0, WAIT_ABANDONED (the owner died or the lock was found
    // damaged; the caller owns it now), WAIT_TIMEOUT, or WAIT_FAILED with
    // the last error set.
    DWORD Wait(DWORD milliseconds);
    // ERROR_SUCCESS, or ERROR_NOT_OWNER when the calling thread does not own
    // it (or lost it to damage of the lock word).
    DWORD Release();

    // Whether this process made the shared object rather than found it.
    bool CreatedHere() const { return m_bCreatedHere; }

private:
    SMutexBlock& _Block() const { return *static_cast<SMutexBlock*>(m_oFile.Block()); }
    void _CheckBeforeWait(pid_t self);
    int _TimedWait(DWORD milliseconds);
    bool _Repair(pid_t self, bool askHolder);
    bool _KeepOwnership(pid_t self, std::shared_ptr<CSharedMutex>& unpinned);
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
