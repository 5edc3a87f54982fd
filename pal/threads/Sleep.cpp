#include <sched.h>

#include <chrono>
#include <thread>

#include "pal/threads/threads.h"

// Sleep(0) gives up the rest of the time slice; INFINITE never returns.
void WINAPI Sleep(DWORD milliseconds)
{
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    if (milliseconds == INFINITE) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(24));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
