// pal's global memory: fixed blocks whose handle is their address, and a table
// of live ones that GlobalFlags consults; its one caller frees and sizes only
// the blocks GlobalFlags knows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "pal/windows.h"

namespace {

constexpr DWORD kPattern = 0xDEADBEEFu;

// GPTR is what the one caller (the AFSS objects) asks for: a zeroed fixed
// block whose handle is its address. The other flags and GlobalLock have no
// caller.
TEST(GlobalMemory, ZeroedBlocksAreTheirOwnHandleAndLeaveTheTableWhenFreed)
{
    const size_t before = pal::LiveGlobalBlocks();
    std::vector<HGLOBAL> blocks;
    for (const SIZE_T bytes : {SIZE_T{4096}, SIZE_T{0}}) {
        SCOPED_TRACE(bytes);
        // A dirty block of the same size first, so that zeroing is not luck.
        HGLOBAL dirty = GlobalAlloc(GMEM_FIXED, bytes);
        std::memset(dirty, 0xCC, bytes);
        ASSERT_EQ(GlobalFree(dirty), nullptr);

        const HGLOBAL block = GlobalAlloc(GPTR, bytes);
        ASSERT_NE(block, nullptr);
        blocks.push_back(block);
        EXPECT_EQ(GlobalFlags(block), 0u);
        EXPECT_EQ(GlobalSize(block), bytes);
        const auto* data = static_cast<const BYTE*>(block);
        EXPECT_TRUE(std::all_of(data, data + bytes, [](BYTE b) { return b == 0; }));
    }
    EXPECT_EQ(pal::LiveGlobalBlocks(), before + blocks.size());
    for (HGLOBAL block : blocks)
        EXPECT_EQ(GlobalFree(block), nullptr);
    EXPECT_EQ(pal::LiveGlobalBlocks(), before);
}

TEST(GlobalMemory, FlagsKnowNoHandleItDidNotHandOut)
{
    const size_t before = pal::LiveGlobalBlocks();
    // Freed last, so that no later block takes its address.
    const HGLOBAL freed = GlobalAlloc(GPTR, 32);
    const HGLOBAL live = GlobalAlloc(GPTR, 32);
    const HLOCAL local = LocalAlloc(LPTR, 32);
    ASSERT_EQ(GlobalFree(freed), nullptr);
    BYTE onStack[32] = {};
    const std::pair<const char*, HGLOBAL> rows[] = {
        {"freed already", freed},
        {"inside a live block", static_cast<BYTE*>(live) + 1},
        {"a local block", local},
        {"on the stack", onStack},
    };
    for (const auto& [what, handle] : rows) {
        SCOPED_TRACE(what);
        SetLastError(kPattern);
        EXPECT_EQ(GlobalFlags(handle), static_cast<UINT>(GMEM_INVALID_HANDLE));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
    EXPECT_EQ(pal::LiveGlobalBlocks(), before + 1);
    EXPECT_EQ(LocalFree(local), nullptr) << "the local block is still the local table's";
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
