#include "pal/threads/CThread.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <memory>

#include "pal/system/system.h"
#include "pal/threads/threads.h"

namespace pal {

DWORD CThread::Wait(DWORD milliseconds)
{
    std::unique_lock<std::mutex> lock(m_mLock);
    const auto finished = [this] { return m_bFinished; };
    if (milliseconds == INFINITE)
        m_cvChanged.wait(lock, finished);
    else if (!m_cvChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), finished))
        return WAIT_TIMEOUT;
    return WAIT_OBJECT_0;
}

DWORD CThread::ExitCode() const
{
    std::lock_guard<std::mutex> guard(m_mLock);
    return m_bFinished ? m_dwExitCode : STILL_ACTIVE;
}

void CThread::Finish(DWORD exitCode)
{
    {
        std::lock_guard<std::mutex> guard(m_mLock);
        m_dwExitCode = exitCode;
        m_bFinished = true;
    }
    m_cvChanged.notify_all();
}

void CThread::PublishId(DWORD threadId)
{
    {
        std::lock_guard<std::mutex> guard(m_mLock);
        m_dwId = threadId;
    }
    m_cvChanged.notify_all();
}

DWORD CThread::AwaitId() const
{
    std::unique_lock<std::mutex> lock(m_mLock);
    m_cvChanged.wait(lock, [this] { return m_dwId != 0; });
    return m_dwId;
}

}  // namespace pal

namespace {

// What the thread ends with; ExitThread sets it before unwinding.
thread_local DWORD t_dwExitCode = 0;

struct ThreadStart {
    std::shared_ptr<pal::CThread> thread;  // keeps the object alive while the routine runs
    unsigned(__stdcall* routine)(void*);
    void* argument;
};

// Signals the handle however the thread ends: by returning from its routine,
// or by ExitThread, whose unwinding runs this destructor too.
class CFinishOnExit {
public:
    explicit CFinishOnExit(pal::CThread& thread) : m_thread(thread) {}
    ~CFinishOnExit() { m_thread.Finish(t_dwExitCode); }
    CFinishOnExit(const CFinishOnExit&) = delete;
    CFinishOnExit& operator=(const CFinishOnExit&) = delete;

private:
    pal::CThread& m_thread;
};

// Not noexcept: ExitThread's forced unwinding must pass through.
void* RunThread(void* raw)
{
    const std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(raw));
    start->thread->PublishId(GetCurrentThreadId());
    const CFinishOnExit finish(*start->thread);
    t_dwExitCode = start->routine(start->argument);
    return nullptr;
}

// Stacks round up to whole pages and never go below the system's minimum.
size_t StackSize(unsigned requested)
{
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t size = std::max<size_t>(requested, PTHREAD_STACK_MIN);
    return (size + page - 1) / page * page;
}

int StartDetached(ThreadStart* start, unsigned stackSize)
{
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0)
        return EAGAIN;
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    int result = stackSize ? pthread_attr_setstacksize(&attributes, StackSize(stackSize)) : 0;
    pthread_t id;
    if (result == 0)
        result = pthread_create(&id, &attributes, RunThread, start);
    pthread_attr_destroy(&attributes);
    return result;
}

uintptr_t FailWith(int error)
{
    errno = error;
    return 0;
}

}  // namespace

// CREATE_SUSPENDED is refused (EINVAL): pthreads cannot start a thread paused.
uintptr_t _beginthreadex(void*, unsigned stackSize, unsigned(__stdcall* start)(void*),
                         void* argument, unsigned initFlags, unsigned* threadId)
{
    if (!start || (initFlags & CREATE_SUSPENDED))
        return FailWith(EINVAL);
    const auto thread = std::make_shared<pal::CThread>();
    auto launch = std::make_unique<ThreadStart>(ThreadStart{thread, start, argument});
    const int result = StartDetached(launch.get(), stackSize);
    if (result != 0)
        return FailWith(result == EINVAL ? EINVAL : EAGAIN);
    launch.release();  // the new thread owns it now
    const DWORD id = thread->AwaitId();
    if (threadId)
        *threadId = id;
    return reinterpret_cast<uintptr_t>(pal::InsertHandle(thread));
}

BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode)
{
    const auto object = pal::FindHandleOf<pal::CThread>(thread);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!exitCode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *exitCode = object->ExitCode();
    return TRUE;
}

void WINAPI ExitThread(DWORD exitCode)
{
    t_dwExitCode = exitCode;
    pthread_exit(nullptr);
}
