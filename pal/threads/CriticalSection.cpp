// Critical sections are recursive pthread mutexes living in the record's own
// storage, so that the record can sit anywhere without a separate allocation.
#include <pthread.h>

#include <new>

#include "pal/threads/threads.h"

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::storage),
              "a pthread mutex fits a CRITICAL_SECTION");
static_assert(alignof(pthread_mutex_t) <= alignof(CRITICAL_SECTION),
              "a CRITICAL_SECTION is aligned for a pthread mutex");

namespace {

pthread_mutex_t* MutexOf(LPCRITICAL_SECTION section)
{
    return std::launder(reinterpret_cast<pthread_mutex_t*>(section->storage));
}

}  // namespace

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section)
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(::new (static_cast<void*>(section->storage)) pthread_mutex_t, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section)
{
    pthread_mutex_destroy(MutexOf(section));
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_lock(MutexOf(section)); }

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION section)
{
    return pthread_mutex_trylock(MutexOf(section)) == 0 ? TRUE : FALSE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section)
{
    pthread_mutex_unlock(MutexOf(section));
}
