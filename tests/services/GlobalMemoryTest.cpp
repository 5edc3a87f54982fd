// pal's global memory: fixed blocks whose handle is their address, a table of
// live ones, and Win32's answers for every handle it did not hand out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "pal/windows.h"

namespace {

constexpr DWORD kPattern = 0xDEADBEEFu;

TEST(GlobalMemory, FixedBlocksAreTheirOwnHandleAndLeaveTheTableWhenFreed)
{
    enum Kind { Refused, Fixed, Zeroed };
    struct Row {
        UINT flags;
        SIZE_T bytes;
        Kind kind;
    };
    const Row rows[] = {
        {GMEM_FIXED, 64, Fixed},
        {GPTR, 4096, Zeroed},
        {GPTR, 0, Zeroed},
        {GMEM_ZEROINIT | 0x0020u /* GMEM_NODISCARD, ignored */, 100, Zeroed},
        {GMEM_MOVEABLE, 16, Refused},
        {GMEM_MOVEABLE | GMEM_ZEROINIT, 16, Refused},
        {0x0080u /* GMEM_MODIFY, not for GlobalAlloc */, 16, Refused},
        {0x10000u, 16, Refused},
    };
    const size_t before = pal::LiveGlobalBlocks();
    std::vector<HGLOBAL> blocks;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.flags);
        // A dirty block of the same size first, so that zeroing is not luck.
        HGLOBAL dirty = GlobalAlloc(GMEM_FIXED, row.bytes);
        std::memset(dirty, 0xCC, row.bytes);
        ASSERT_EQ(GlobalFree(dirty), nullptr);

        SetLastError(kPattern);
        const HGLOBAL block = GlobalAlloc(row.flags, row.bytes);
        if (row.kind == Refused) {
            EXPECT_EQ(block, nullptr);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
            continue;
        }
        ASSERT_NE(block, nullptr);
        blocks.push_back(block);
        EXPECT_EQ(GlobalFlags(block), 0u);
        EXPECT_EQ(GlobalSize(block), row.bytes);
        EXPECT_EQ(GlobalLock(block), block);
        EXPECT_TRUE(GlobalUnlock(block));
        const auto* bytes = static_cast<const BYTE*>(block);
        EXPECT_TRUE(row.kind != Zeroed || std::all_of(bytes, bytes + row.bytes, [](BYTE b) { return b == 0; }));
    }
    EXPECT_EQ(pal::LiveGlobalBlocks(), before + blocks.size());
    for (HGLOBAL block : blocks)
        EXPECT_EQ(GlobalFree(block), nullptr);
    EXPECT_EQ(pal::LiveGlobalBlocks(), before);
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
}

TEST(GlobalMemory, HandlesItDidNotHandOutAreRefusedWithoutTouchingThem)
{
    const size_t before = pal::LiveGlobalBlocks();
    // Freed last, so that no later block takes its address.
    const HGLOBAL freed = GlobalAlloc(GPTR, 32);
    const HGLOBAL live = GlobalAlloc(GPTR, 32);
    const HLOCAL local = LocalAlloc(LPTR, 32);
    ASSERT_EQ(GlobalFree(freed), nullptr);
    BYTE onStack[32] = {};
    struct Row {
        const char* what;
        HGLOBAL handle;
    };
    const Row rows[] = {
        {"freed already", freed},
        {"inside a live block", static_cast<BYTE*>(live) + 1},
        {"a local block", local},
        {"on the stack", onStack},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetLastError(kPattern);
        EXPECT_EQ(GlobalFree(row.handle), row.handle);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        SetLastError(kPattern);
        EXPECT_EQ(GlobalFlags(row.handle), static_cast<UINT>(GMEM_INVALID_HANDLE));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(GlobalSize(row.handle), 0u);
        EXPECT_EQ(GlobalLock(row.handle), nullptr);
        EXPECT_FALSE(GlobalUnlock(row.handle));
    }
    EXPECT_EQ(pal::LiveGlobalBlocks(), before + 1);
    EXPECT_EQ(LocalFree(local), nullptr) << "the local block is still the local table's";
    EXPECT_EQ(LocalFree(live), live) << "and a global block is not";
    EXPECT_EQ(GlobalFree(live), nullptr);
    EXPECT_EQ(pal::LiveGlobalBlocks(), before);
}

TEST(GlobalMemory, TheTableHoldsUnderThreads)
{
    const size_t before = pal::LiveGlobalBlocks();
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&failures, t] {
            std::vector<HGLOBAL> mine;
            for (int i = 0; i < 500; ++i) {
                mine.push_back(GlobalAlloc(GPTR, 8 + i % 64));
                if (i % 3 == 0) {
                    failures[t] += GlobalFree(mine.back()) != nullptr;
                    mine.pop_back();
                }
            }
            for (HGLOBAL block : mine)
                failures[t] += GlobalFlags(block) != 0 || GlobalFree(block) != nullptr;
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
    EXPECT_EQ(pal::LiveGlobalBlocks(), before);
}

}  // namespace
