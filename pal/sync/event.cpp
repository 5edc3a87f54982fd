// Unnamed events: manual or automatic reset, waitable like any kernel object.
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "pal/sync/sync.h"

namespace {

class CEvent : public pal::CKernelObject {
public:
    CEvent(bool bManualReset, bool bSignalled) : m_bManualReset(bManualReset), m_bSignalled(bSignalled) {}

    DWORD Wait(DWORD milliseconds) override
    {
        std::unique_lock<std::mutex> lock(m_mLock);
        const auto signalled = [this] { return m_bSignalled; };
        if (milliseconds == INFINITE)
            m_cvChanged.wait(lock, signalled);
        else if (!m_cvChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), signalled))
            return WAIT_TIMEOUT;
        // An automatic event lets exactly one waiter through.
        if (!m_bManualReset)
            m_bSignalled = false;
        return WAIT_OBJECT_0;
    }

    void Set(bool bSignalled)
    {
        {
            std::lock_guard<std::mutex> guard(m_mLock);
            m_bSignalled = bSignalled;
        }
        if (bSignalled)
            m_cvChanged.notify_all();
    }

private:
    std::mutex m_mLock;
    std::condition_variable m_cvChanged;
    const bool m_bManualReset;
    bool m_bSignalled;
};

BOOL SetState(HANDLE event, bool bSignalled)
{
    const auto object = pal::FindHandleOf<CEvent>(event);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    object->Set(bSignalled);
    return TRUE;
}

}  // namespace

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name)
{
    if (name) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return pal::InsertHandle(std::make_shared<CEvent>(manualReset != FALSE, initialState != FALSE));
}

BOOL WINAPI SetEvent(HANDLE event) { return SetState(event, true); }

BOOL WINAPI ResetEvent(HANDLE event) { return SetState(event, false); }
