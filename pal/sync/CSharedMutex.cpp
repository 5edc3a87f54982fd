#include "pal/sync/CSharedMutex.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <ctime>

#include "pal/base/lasterror.h"
#include "pal/sync/sync.h"
#include "pal/system/system.h"

namespace {

constexpr DWORD kMutantLimitExceeded = 587;  // ERROR_MUTANT_LIMIT_EXCEEDED

struct SMutexBlock {
    uint32_t magic;
    pthread_mutex_t mutex;
};
// The layout is part of the magic: a 32-bit and a 64-bit process never share a block.
constexpr uint32_t kMagic = 0x564D5800u | static_cast<uint32_t>(sizeof(SMutexBlock));

void InitialiseMutex(void* block)
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    pthread_mutex_init(&static_cast<SMutexBlock*>(block)->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

// pthread_mutex_timedlock (the call sanitizers know) counts in wall-clock
// time; slices of at most a second bound the effect of clock changes.
int TimedLock(pthread_mutex_t* mutex, DWORD milliseconds)
{
    using namespace std::chrono;
    const auto end = steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        const auto left = duration_cast<nanoseconds>(end - steady_clock::now());
        if (left.count() <= 0)
            return ETIMEDOUT;
        const long long slice = std::min<long long>(left.count(), 1000000000LL);
        timespec deadline {};
        clock_gettime(CLOCK_REALTIME, &deadline);
        deadline.tv_nsec += static_cast<long>(slice % 1000000000LL);
        deadline.tv_sec += static_cast<time_t>(slice / 1000000000LL +
                                               deadline.tv_nsec / 1000000000L);
        deadline.tv_nsec %= 1000000000L;
        const int result = pthread_mutex_timedlock(mutex, &deadline);
        if (result != ETIMEDOUT)
            return result;
    }
}

}  // namespace

namespace pal {

DWORD CSharedMutex::Open(const std::string& path, CSharedFile::EOpen mode, bool& existed)
{
    const DWORD result = m_oFile.Open(path, sizeof(SMutexBlock), kMagic, InitialiseMutex, mode,
                                      existed);
    m_bCreatedHere = !existed;
    return result;
}

DWORD CSharedMutex::OpenPrivate()
{
    return m_oFile.OpenPrivate(sizeof(SMutexBlock), InitialiseMutex);
}

DWORD CSharedMutex::Wait(DWORD milliseconds)
{
    pthread_mutex_t* mutex = &static_cast<SMutexBlock*>(m_oFile.Block())->mutex;
    // Trying first also keeps a free abandoned mutex on the calls sanitizers follow.
    int result = pthread_mutex_trylock(mutex);
    if (result == EBUSY && milliseconds != 0)
        result = milliseconds == INFINITE ? pthread_mutex_lock(mutex)
                                          : TimedLock(mutex, milliseconds);
    switch (result) {
    case 0:
        _NoteAcquired(false);
        return WAIT_OBJECT_0;
    case EOWNERDEAD:
        pthread_mutex_consistent(mutex);
        _NoteAcquired(true);
        return WAIT_ABANDONED;
    case EBUSY:
    case ETIMEDOUT:
        return WAIT_TIMEOUT;
    case EAGAIN:
        SetLastError(kMutantLimitExceeded);
        return WAIT_FAILED;
    default:
        SetLastError(ERROR_GEN_FAILURE);
        return WAIT_FAILED;
    }
}

DWORD CSharedMutex::Release()
{
    std::shared_ptr<CSharedMutex> unpinned;  // dropped after the guard
    const std::lock_guard<std::mutex> guard(m_mState);
    // The state stays locked across the unlock, so a thread that gets the
    // mutex next records itself only after this thread has let go.
    if (m_iOwner != static_cast<pid_t>(GetCurrentThreadId()) ||
        pthread_mutex_unlock(&static_cast<SMutexBlock*>(m_oFile.Block())->mutex) != 0)
        return ERROR_NOT_OWNER;
    if (--m_nLevels == 0) {
        m_iOwner = 0;
        unpinned = std::move(m_pWhileOwned);
    }
    return ERROR_SUCCESS;
}

void CSharedMutex::_NoteAcquired(bool abandoned)
{
    const std::lock_guard<std::mutex> guard(m_mState);
    const auto self = static_cast<pid_t>(GetCurrentThreadId());
    // After an abandonment the record may name a dead thread whose id was reused.
    if (m_iOwner == self && !abandoned) {
        ++m_nLevels;
        return;
    }
    m_iOwner = self;
    m_nLevels = 1;
    m_pWhileOwned = shared_from_this();
}

}  // namespace pal
