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
#include "pal/system/debugoutput.h"
#include "pal/system/system.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kMutantLimitExceeded = 587;  // ERROR_MUTANT_LIMIT_EXCEEDED
// Between slices a waiter looks whether the owner is real, so a damaged
// lock word is repaired within one slice even under INFINITE.
constexpr auto kSlice = std::chrono::milliseconds(250);

// pthread_mutex_timedlock (the call sanitizers know) counts in wall-clock
// time; slices of at most a second bound the effect of clock changes.
int LockUntil(pthread_mutex_t* mutex, Clock::time_point end)
{
    using namespace std::chrono;
    for (;;) {
        const auto left = duration_cast<nanoseconds>(end - Clock::now());
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

void Report(const std::string& path, const std::string& fault, const char* action)
{
    pal::WriteDebugOutput("pal: " + path + ": damaged named mutex (" + fault + "): " + action);
}

}  // namespace

namespace pal {

DWORD CSharedMutex::Open(const std::string& path, CSharedFile::EOpen mode, bool& existed)
{
    const DWORD result = m_oFile.Open(path, sizeof(SMutexBlock), InitialiseMutexBlock, mode,
                                      existed);
    m_bCreatedHere = !existed;
    if (result == ERROR_SUCCESS && existed)
        _Repair(static_cast<pid_t>(GetCurrentThreadId()), true);
    return result;
}

DWORD CSharedMutex::OpenPrivate()
{
    return m_oFile.OpenPrivate(sizeof(SMutexBlock), InitialiseMutexBlock);
}

DWORD CSharedMutex::Wait(DWORD milliseconds)
{
    if (m_oFile.IsShared())
        _CheckBeforeWait(static_cast<pid_t>(GetCurrentThreadId()));
    pthread_mutex_t* mutex = &_Block().mutex;
    // Trying first also keeps a free abandoned mutex on the calls sanitizers follow.
    int result = pthread_mutex_trylock(mutex);
    if (result == EBUSY && milliseconds != 0)
        result = _TimedWait(milliseconds);
    if (result == ENOTRECOVERABLE && m_oFile.IsShared() &&
        _Repair(static_cast<pid_t>(GetCurrentThreadId()), false))
        result = pthread_mutex_trylock(mutex);
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
    const auto self = static_cast<pid_t>(GetCurrentThreadId());
    // The state stays locked across the unlock, so a thread that gets the
    // mutex next records itself only after this thread has let go.
    if (m_iOwner != self || (m_oFile.IsShared() && !_KeepOwnership(self, unpinned)) ||
        pthread_mutex_unlock(&_Block().mutex) != 0)
        return ERROR_NOT_OWNER;
    if (--m_nLevels == 0) {
        m_iOwner = 0;
        unpinned = std::move(m_pWhileOwned);
    }
    return ERROR_SUCCESS;
}

// The owner checks the fields its release relies on; anyone else checks
// what needs no look at other processes, cheap enough for every wait.
void CSharedMutex::_CheckBeforeWait(pid_t self)
{
    {
        std::shared_ptr<CSharedMutex> unpinned;
        const std::lock_guard<std::mutex> guard(m_mState);
        if (m_iOwner == self && _KeepOwnership(self, unpinned))
            return;
    }
    _Repair(self, false);
}

int CSharedMutex::_TimedWait(DWORD milliseconds)
{
    pthread_mutex_t* mutex = &_Block().mutex;
    const auto end = milliseconds == INFINITE
        ? Clock::time_point::max()
        : Clock::now() + std::chrono::milliseconds(milliseconds);
    for (auto sliceEnd = Clock::now();;) {
        sliceEnd = end - sliceEnd > kSlice ? sliceEnd + kSlice : end;
        int result = LockUntil(mutex, sliceEnd);
        if (result != ETIMEDOUT)
            return result;
        if (m_oFile.IsShared() && _Repair(static_cast<pid_t>(GetCurrentThreadId()), true) &&
            (result = pthread_mutex_trylock(mutex)) != EBUSY)
            return result;
        if (sliceEnd == end)
            return ETIMEDOUT;
    }
}

// Looks without the repair lock first, so a sound block costs a few loads;
// what is found is looked at again under the lock, where one repairer
// alone acts and reports.
bool CSharedMutex::_Repair(pid_t self, bool askHolder)
{
    SMutexBlock& block = _Block();
    if (FieldFault(block).empty() && LockFault(block, self, askHolder, m_oFile).empty())
        return false;
    const CSharedFile::CRepairLock lock(m_oFile);
    if (!lock.Held())
        return false;
    const std::string fields = FieldFault(block);
    const std::string word = LockFault(block, self, askHolder, m_oFile);
    if (word.empty() && fields.empty())
        return false;  // repaired by someone else meanwhile
    if (word.empty())
        FixFields(block);
    else
        ResetLock(block);
    Report(m_oFile.Path(), fields.empty() || word.empty() ? fields + word : fields + "; " + word,
           word.empty() ? "fixed" : "reset, its next owner is told it was abandoned");
    return true;
}

// Under m_mState, for the thread that owns the mutex: false (and the record
// dropped) when the lock word no longer names it.
bool CSharedMutex::_KeepOwnership(pid_t self, std::shared_ptr<CSharedMutex>& unpinned)
{
    SMutexBlock& block = _Block();
    if (!IsLockedBy(block, self)) {
        Report(m_oFile.Path(), "the lock word no longer names its owner " + std::to_string(self),
               "ownership lost");
        m_iOwner = 0;
        m_nLevels = 0;
        unpinned = std::move(m_pWhileOwned);
        return false;
    }
    const std::string fault = OwnedFault(block, self, m_nLevels);
    if (!fault.empty()) {
        FixOwned(block, self, m_nLevels);
        Report(m_oFile.Path(), fault, "fixed by its owner");
    }
    return true;
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
