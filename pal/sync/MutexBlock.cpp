#include "pal/sync/MutexBlock.h"

#include <linux/futex.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>

#include "pal/sync/CSharedFile.h"

#ifndef __GLIBC__
#error "the mutex checks read glibc's pthread_mutex_t"
#endif

namespace {

constexpr int kNotRecoverable = 0x7fffffff;  // glibc's PTHREAD_MUTEX_NOTRECOVERABLE
static_assert(offsetof(pthread_mutex_t, __data.__lock) == 0, "the lock word leads the mutex");

int Load(const int& field) { return __atomic_load_n(&field, __ATOMIC_ACQUIRE); }

pid_t LockTid(const pal::SMutexBlock& block)
{
    return static_cast<pid_t>(Load(block.mutex.__data.__lock) & FUTEX_TID_MASK);
}

// A fresh mutex, whose kind and idle fields are the reference.
const pthread_mutex_t& Template()
{
    static const pthread_mutex_t fresh = [] {
        pal::SMutexBlock block {};
        pal::InitialiseMutexBlock(&block);
        return block.mutex;
    }();
    return fresh;
}

std::string Hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

std::string Joined(const std::string& a, const std::string& b)
{
    return a.empty() || b.empty() ? a + b : a + "; " + b;
}

std::string HolderFault(pid_t tid, const pal::CSharedFile& file)
{
    const std::string thread = "its owner thread " + std::to_string(tid);
    if (kill(tid, 0) != 0)
        return errno == ESRCH ? thread + " no longer exists"
            : errno == EPERM  ? thread + " is another user's"
                              : std::string();
    return file.IsMappedBy(tid) ? std::string() : thread + " does not use it";
}

}  // namespace

namespace pal {

void InitialiseMutexBlock(void* memory)
{
    auto* block = static_cast<SMutexBlock*>(memory);
    block->magic = kMutexMagic;
    block->version = kMutexVersion;
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    pthread_mutex_init(&block->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

std::string FieldFault(const SMutexBlock& block)
{
    std::string fault;
    const uint32_t magic = __atomic_load_n(&block.magic, __ATOMIC_ACQUIRE);
    const uint32_t version = __atomic_load_n(&block.version, __ATOMIC_ACQUIRE);
    if (magic != kMutexMagic)
        fault = "magic " + Hex(magic);
    if (version != kMutexVersion)
        fault = Joined(fault, "version " + std::to_string(version));
    if (Load(block.mutex.__data.__kind) != Template().__data.__kind)
        fault = Joined(fault, "kind " + Hex(static_cast<unsigned>(Load(block.mutex.__data.__kind))));
    if (Load(block.mutex.__data.__owner) == kNotRecoverable)
        fault = Joined(fault, "marked unrecoverable");
    return fault;
}

std::string LockFault(const SMutexBlock& block, pid_t self, bool askHolder,
                      const CSharedFile& file)
{
    const int word = Load(block.mutex.__data.__lock);
    const pid_t tid = word & FUTEX_TID_MASK;
    if (word == 0 || (word & FUTEX_OWNER_DIED))
        return {};  // free, or abandoned as the kernel marks it
    if (tid == 0)
        return "lock word " + Hex(static_cast<unsigned>(word)) + " names no thread";
    if (tid == self)
        return "it names thread " + std::to_string(tid) + ", which does not own it";
    return askHolder ? HolderFault(tid, file) : std::string();
}

std::string OwnedFault(const SMutexBlock& block, pid_t self, unsigned levels)
{
    std::string fault;
    const int owner = Load(block.mutex.__data.__owner);
    const unsigned count = __atomic_load_n(&block.mutex.__data.__count, __ATOMIC_ACQUIRE);
    if (owner != self)
        fault = "owner field " + std::to_string(owner) + " instead of " + std::to_string(self);
    if (count != levels)
        return Joined(fault, "count " + std::to_string(count) + " instead of " + std::to_string(levels));
    return fault;
}

bool IsLockedBy(const SMutexBlock& block, pid_t self) { return LockTid(block) == self; }

void FixFields(SMutexBlock& block)
{
    __atomic_store_n(&block.magic, kMutexMagic, __ATOMIC_RELEASE);
    __atomic_store_n(&block.version, kMutexVersion, __ATOMIC_RELEASE);
    __atomic_store_n(&block.mutex.__data.__kind, Template().__data.__kind, __ATOMIC_RELEASE);
    int unrecoverable = kNotRecoverable;
    __atomic_compare_exchange_n(&block.mutex.__data.__owner, &unrecoverable, 0, false,
                                __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
}

void ResetLock(SMutexBlock& block)
{
    // While the bogus word stays, nobody can take the mutex, so every other
    // field may be made fresh before the word changes.
    int& word = block.mutex.__data.__lock;
    int seen = Load(word);
    const int tid = seen & FUTEX_TID_MASK;
    // Byte by byte, atomically: other threads read these fields meanwhile.
    const auto* fresh = reinterpret_cast<const char*>(&Template());
    auto* bytes = reinterpret_cast<char*>(&block.mutex);
    for (size_t at = sizeof word; at < sizeof block.mutex; ++at)
        __atomic_store_n(bytes + at, fresh[at], __ATOMIC_RELAXED);
    FixFields(block);
    // A waiter may add its flag meanwhile; a word that names another owner
    // by now is no longer ours to change.
    while ((seen & FUTEX_TID_MASK) == tid && !(seen & FUTEX_OWNER_DIED) &&
           !__atomic_compare_exchange_n(&word, &seen, FUTEX_OWNER_DIED, false, __ATOMIC_ACQ_REL,
                                        __ATOMIC_ACQUIRE)) {
    }
    syscall(SYS_futex, &word, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

void FixOwned(SMutexBlock& block, pid_t self, unsigned levels)
{
    __atomic_store_n(&block.mutex.__data.__owner, self, __ATOMIC_RELEASE);
    __atomic_store_n(&block.mutex.__data.__count, levels, __ATOMIC_RELEASE);
}

}  // namespace pal
