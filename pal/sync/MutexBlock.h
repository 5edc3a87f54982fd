// The block behind a named mutex and what can be wrong with it. Only its
// user may write the file, yet a stray write of that user's may still damage
// it; these checks find what would hang or mislead the mutex's users, by
// reading glibc's robust mutex field by field (pal runs on glibc only).
#pragma once
#include <pthread.h>
#include <sys/types.h>

#include <cstdint>
#include <string>

namespace pal {

class CSharedFile;

// Layout version 1: magic at 0, version at 4, the pthread mutex at 8. A
// later layout lives in files of another name, so a version other than ours
// is damage, like a wrong magic.
struct SMutexBlock {
    uint32_t magic;
    uint32_t version;
    pthread_mutex_t mutex;
};
constexpr uint32_t kMutexMagic = 0x58544D56u;  // "VMTX"
constexpr uint32_t kMutexVersion = 1;

void InitialiseMutexBlock(void* block);

// Each answers what is wrong, in words, or nothing. They read only what
// cannot be seen half-changed while the mutex is used correctly, so what
// they find is damage.
// Fields fixed in place: the header, the mutex kind, a mark that the
// mutex is unrecoverable (we always make an abandoned mutex consistent).
std::string FieldFault(const SMutexBlock& block);
// For `self`, which does not own the mutex: a lock word no owner could
// have left (no thread, or `self`); with `askHolder`, also a thread that is
// gone, another user's, or one whose process does not map the file.
std::string LockFault(const SMutexBlock& block, pid_t self, bool askHolder,
                      const CSharedFile& file);
// For `self`, which owns the mutex `levels` deep: the owner and count
// fields that its release relies on.
std::string OwnedFault(const SMutexBlock& block, pid_t self, unsigned levels);
bool IsLockedBy(const SMutexBlock& block, pid_t self);

void FixFields(SMutexBlock& block);
// Replaces a lock word found bogus by LockFault with the mark of an owner
// that died, so the next owner is told the mutex was abandoned.
void ResetLock(SMutexBlock& block);
void FixOwned(SMutexBlock& block, pid_t self, unsigned levels);

}  // namespace pal
