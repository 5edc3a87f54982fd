#include <pthread.h>
#include <unistd.h>

#include <atomic>

#include "pal/system/machine.h"
#include "pal/system/system.h"

namespace {

// Both ids cost a system call, and the logger asks for them on every line;
// they are kept until a fork gives the child new ones.
std::atomic<pid_t> g_processId{0};
thread_local pid_t t_threadId = 0;

void ForgetIdsInChild()
{
    g_processId.store(0);
    t_threadId = 0;
}

const int g_forkHandler = pthread_atfork(nullptr, nullptr, ForgetIdsInChild);

}  // namespace

DWORD WINAPI GetCurrentProcessId()
{
    pid_t id = g_processId.load(std::memory_order_relaxed);
    if (id == 0) {
        id = getpid();
        g_processId.store(id, std::memory_order_relaxed);
    }
    return static_cast<DWORD>(id);
}

DWORD WINAPI GetCurrentThreadId()
{
    if (t_threadId == 0)
        t_threadId = gettid();
    return static_cast<DWORD>(t_threadId);
}

HANDLE WINAPI GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

BOOL WINAPI IsDebuggerPresent()
{
    return pal::NonEmptySetting("VESK_DEBUGGER").empty() ? FALSE : TRUE;
}
