#include "pal/memory/memory.h"

#include <cstdlib>
#include <mutex>
#include <unordered_set>

#include "pal/base/lasting.h"

namespace {

// The live blocks, so that a stale or foreign handle is refused instead of
// reaching free().
struct LiveBlocks {
    std::mutex lock;
    std::unordered_set<void*> blocks;
};

LiveBlocks& Live() { return pal::CLasting<LiveBlocks>::Get(); }

}  // namespace

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes)
{
    if (flags & ~LPTR) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void* const block = (flags & LMEM_ZEROINIT) ? std::calloc(1, bytes ? bytes : 1)
                                                : std::malloc(bytes ? bytes : 1);
    if (!block) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    LiveBlocks& live = Live();
    const std::lock_guard<std::mutex> guard(live.lock);
    live.blocks.insert(block);
    return block;
}

HLOCAL WINAPI LocalFree(HLOCAL memory)
{
    if (!memory)
        return nullptr;
    LiveBlocks& live = Live();
    {
        const std::lock_guard<std::mutex> guard(live.lock);
        if (live.blocks.erase(memory) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return memory;
        }
    }
    std::free(memory);
    return nullptr;
}
