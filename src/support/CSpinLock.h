// The lock of the library's process-wide words (the running capture, the
// lookup order). A critical section needs a constructor and a destructor,
// and another file's static object may run before the one or after the
// other; this lock is constant-initialised and trivially destructible, so it
// works from the first constructor of the module to its last destructor.
// Holders keep it for a few instructions; a waiter gives its time away.
#pragma once
#include <atomic>

#include "support/Win32.h"

class CSpinLock {
public:
    constexpr CSpinLock() = default;
    CSpinLock(const CSpinLock&) = delete;
    CSpinLock& operator=(const CSpinLock&) = delete;

    void Enter()
    {
        // Sleep(0) yields to ready threads of the same priority only; Sleep(1)
        // also lets a lower-priority holder run.
        for (unsigned nTry = 0; m_flag.test_and_set(std::memory_order_acquire); ++nTry)
            Sleep(nTry < kYields ? 0 : 1);
    }
    void Leave() { m_flag.clear(std::memory_order_release); }

private:
    static constexpr unsigned kYields = 64;
    std::atomic_flag m_flag = ATOMIC_FLAG_INIT;
};

class CSpinLockGuard {
public:
    explicit CSpinLockGuard(CSpinLock& lock) : m_lock(lock) { m_lock.Enter(); }
    ~CSpinLockGuard() { m_lock.Leave(); }
    CSpinLockGuard(const CSpinLockGuard&) = delete;
    CSpinLockGuard& operator=(const CSpinLockGuard&) = delete;

private:
    CSpinLock& m_lock;
};
