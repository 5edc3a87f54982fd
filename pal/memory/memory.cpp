#include "pal/memory/memory.h"

#include <cstdlib>
#include <mutex>
#include <unordered_map>

#include "pal/base/lasting.h"

namespace {

// The live blocks of one kind and their sizes, so that a stale or foreign
// handle is refused instead of reaching free().
class CBlockTable {
public:
    void* Allocate(UINT flags, SIZE_T bytes, UINT zeroFlag)
    {
        // A zero-byte block still has an address of its own.
        const size_t nBytes = bytes ? bytes : 1;
        void* const block = (flags & zeroFlag) ? std::calloc(1, nBytes) : std::malloc(nBytes);
        if (!block) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        const std::lock_guard<std::mutex> guard(lock);
        m_blocks.emplace(block, bytes);
        return block;
    }

    // Null once freed; the handle itself with ERROR_INVALID_HANDLE when unknown.
    void* Free(void* memory)
    {
        if (!memory)
            return nullptr;
        {
            const std::lock_guard<std::mutex> guard(lock);
            if (m_blocks.erase(memory) == 0) {
                SetLastError(ERROR_INVALID_HANDLE);
                return memory;
            }
        }
        std::free(memory);
        return nullptr;
    }

    // False with ERROR_INVALID_HANDLE when unknown.
    bool Find(void* memory, SIZE_T* pnBytes)
    {
        const std::lock_guard<std::mutex> guard(lock);
        const auto it = m_blocks.find(memory);
        if (it == m_blocks.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        if (pnBytes)
            *pnBytes = it->second;
        return true;
    }

    size_t Count()
    {
        const std::lock_guard<std::mutex> guard(lock);
        return m_blocks.size();
    }

    std::mutex lock;  // public by name: the lasting table's release passes through it

private:
    std::unordered_map<void*, SIZE_T> m_blocks;
};

struct LocalBlocks : CBlockTable {};
struct GlobalBlocks : CBlockTable {};

CBlockTable& Local() { return pal::CLasting<LocalBlocks>::Get(); }
CBlockTable& Global() { return pal::CLasting<GlobalBlocks>::Get(); }

}  // namespace

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes)
{
    if (flags & ~LPTR) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return Local().Allocate(flags, bytes, LMEM_ZEROINIT);
}

HLOCAL WINAPI LocalFree(HLOCAL memory) { return Local().Free(memory); }

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes)
{
    if ((flags & ~GMEM_VALID_FLAGS) || (flags & GMEM_MOVEABLE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return Global().Allocate(flags, bytes, GMEM_ZEROINIT);
}

HGLOBAL WINAPI GlobalFree(HGLOBAL memory) { return Global().Free(memory); }

UINT WINAPI GlobalFlags(HGLOBAL memory)
{
    return Global().Find(memory, nullptr) ? 0u : GMEM_INVALID_HANDLE;
}

LPVOID WINAPI GlobalLock(HGLOBAL memory)
{
    return Global().Find(memory, nullptr) ? memory : nullptr;
}

BOOL WINAPI GlobalUnlock(HGLOBAL memory)
{
    return Global().Find(memory, nullptr) ? TRUE : FALSE;
}

SIZE_T WINAPI GlobalSize(HGLOBAL memory)
{
    SIZE_T nBytes = 0;
    return Global().Find(memory, &nBytes) ? nBytes : 0;
}

size_t pal::LiveGlobalBlocks() { return Global().Count(); }
