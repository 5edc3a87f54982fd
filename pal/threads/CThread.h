// The kernel object behind a thread handle from _beginthreadex: signalled
// when the start routine returns, waitable by any number of threads.
#pragma once
#include <condition_variable>
#include <mutex>

#include "pal/base/handles.h"

namespace pal {

class CThread : public CKernelObject {
public:
    DWORD Wait(DWORD milliseconds) override;

    // STILL_ACTIVE until the routine has returned.
    DWORD ExitCode() const;
    void Finish(DWORD exitCode);

    // The creator blocks until the new thread has told its id.
    void PublishId(DWORD threadId);
    DWORD AwaitId() const;

private:
    mutable std::mutex m_mLock;
    mutable std::condition_variable m_cvChanged;
    DWORD m_dwId = 0;
    bool m_bFinished = false;
    DWORD m_dwExitCode = 0;
};

}  // namespace pal
