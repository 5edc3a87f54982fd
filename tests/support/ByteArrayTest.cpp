// Byte array and record readers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "support/CMyByteArray.h"
#include "support/RecordReaders.h"

// Array allocations pass through here so the tests can see what a block held
// when it was released, and make the next allocation fail.
namespace {
const void* g_watched = nullptr;
std::vector<uint8_t> g_watchedBytes;
size_t g_watchedSize = 0;
bool g_failNext = false;
}  // namespace

void* operator new[](size_t size)
{
    if (g_failNext) {
        g_failNext = false;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete[](void* p) noexcept
{
    if (p && p == g_watched) {
        const auto* bytes = static_cast<const uint8_t*>(p);
        g_watchedBytes.assign(bytes, bytes + g_watchedSize);
        g_watched = nullptr;
    }
    std::free(p);
}

void operator delete[](void* p, size_t) noexcept { operator delete[](p); }

namespace {

CMyByteArray Bytes(const std::vector<uint8_t>& bytes)
{
    CMyByteArray array(static_cast<uint32_t>(bytes.size()));
    if (!bytes.empty())
        std::memcpy(array.GetData(), bytes.data(), bytes.size());
    return array;
}

std::vector<uint8_t> Content(const CMyByteArray& array)
{
    return std::vector<uint8_t>(array.GetData(), array.GetData() + array.GetSize());
}

// Copies are deep and an empty one holds no block.
TEST(ByteArray, CopiesAreDeepAndBlocksChangeOnlyWithTheSize)
{
    const CMyByteArray empty;
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(empty.GetData(), nullptr);
    CMyByteArray original = Bytes({1, 2, 3});
    CMyByteArray copy(original);
    copy.ElementAt(0) = 42;
    EXPECT_EQ(original.ElementAt(0), 1);
    copy = empty;
    EXPECT_TRUE(copy.IsEmpty());
    EXPECT_EQ(copy.GetData(), nullptr);

    // Neither assigning to itself nor an unchanged size moves the block.
    const uint8_t* before = original.GetData();
    CMyByteArray& alias = original;
    original = alias;
    original.SetSize(3);
    EXPECT_EQ(original.GetData(), before);
    EXPECT_EQ(Content(original), (std::vector<uint8_t>{1, 2, 3}));

    // Hold the old block so the allocator cannot hand the same address back.
    CMyByteArray keepAlive(original);
    original.SetSize(6);
    EXPECT_NE(original.GetData(), before);
    ASSERT_EQ(original.GetSize(), 6u);
    EXPECT_EQ(std::vector<uint8_t>(original.GetData(), original.GetData() + 3), Content(keepAlive));
}

TEST(ByteArray, ReleasedBlocksAreWipedOnlyWhenEmptiedAndFailedAllocationsChangeNothing)
{
    CMyByteArray array = Bytes({0xde, 0xad, 0xbe, 0xef, 0x55});
    g_watched = array.GetData();
    g_watchedSize = array.GetSize();
    g_watchedBytes.clear();
    array.RemoveAll();
    EXPECT_EQ(g_watchedBytes, std::vector<uint8_t>(5, 0));
    EXPECT_TRUE(array.IsEmpty());
    EXPECT_EQ(array.GetData(), nullptr);

    // Destruction and reallocation release without wiping.
    {
        CMyByteArray dying = Bytes({7, 7});
        g_watched = dying.GetData();
        g_watchedSize = 2;
    }
    EXPECT_EQ(g_watchedBytes, (std::vector<uint8_t>{7, 7}));

    // A failed allocation leaves the array as it was.
    array = Bytes({9, 8, 7});
    const uint8_t* before = array.GetData();
    g_failNext = true;
    EXPECT_THROW(array.SetSize(100), std::bad_alloc);
    EXPECT_EQ(array.GetData(), before);
    EXPECT_EQ(Content(array), (std::vector<uint8_t>{9, 8, 7}));

    CMyByteArray target = Bytes({1});
    g_failNext = true;
    EXPECT_THROW(target = array, std::bad_alloc);
    EXPECT_EQ(Content(target), (std::vector<uint8_t>{1}));
}

TEST(ByteArray, Concatenation)
{
    const CMyByteArray empty;
    const CMyByteArray three = Bytes({1, 2, 3});
    EXPECT_TRUE((empty + empty).IsEmpty());
    EXPECT_EQ(Content(empty + three), Content(three));
    const CMyByteArray ab = Bytes({0x61, 0x62});
    EXPECT_EQ(Content(ab + Bytes({0x63, 0x64})), (std::vector<uint8_t>{0x61, 0x62, 0x63, 0x64}));
    EXPECT_EQ(Content(ab), (std::vector<uint8_t>{0x61, 0x62}));  // operands unchanged
    EXPECT_NE((three + empty).GetData(), three.GetData());

    // Sizes whose sum passes 32 bits: the blocks are never touched, and the
    // sum used to wrap into a short array.
    const CMyByteArray huge(0xC0000000u), tail(0x40000001u);
    EXPECT_THROW(huge + tail, std::bad_alloc);
    EXPECT_EQ(huge.GetSize(), 0xC0000000u);
}

TEST(RecordReaders, IntegersNeedTheWholeFieldInsideTheRecord)
{
    const CMyByteArray record = Bytes({0x10, 0x20, 0x01, 0x02, 0x03, 0x04});
    // {field bytes, cursor, read, value, cursor after}; 0xFFFFFFFF would overflow an addition.
    const uint32_t cases[][5] = {{4, 3, 0, 0, 3}, {4, 2, 1, 0x04030201u, 6}, {1, 6, 0, 0, 6},
                                 {4, 0xFFFFFFFFu, 0, 0, 0xFFFFFFFFu}, {1, 5, 1, 0x04, 6}};
    for (const auto& [bytes, before, read, value, after] : cases) {
        SCOPED_TRACE(std::to_string(bytes) + " bytes at " + std::to_string(before));
        uint32_t cursor = before, word = 99;
        uint8_t byte = 5;
        EXPECT_EQ(bytes == 4 ? ReadUInt32(record, cursor, word) : ReadUInt8(record, cursor, byte), read != 0);
        EXPECT_EQ(bytes == 4 ? word : byte, value);
        EXPECT_EQ(cursor, after);
    }
    uint32_t cursor = 0;
    uint8_t byte = 5;
    EXPECT_FALSE(ReadUInt8(CMyByteArray(), cursor, byte));
}

struct StringCase {
    const char* name;
    std::vector<uint8_t> bytes;
    bool accepted;
    std::u16string text;
    uint32_t cursorAfter;
};

TEST(RecordReaders, CountedStrings)
{
    const StringCase cases[] = {
        {"two characters", {6, 0, 0, 0, 0x41, 0, 0x42, 0, 0, 0}, true, u"AB", 10},
        {"empty string", {2, 0, 0, 0, 0, 0}, true, u"", 6},
        {"no terminator", {4, 0, 0, 0, 0x41, 0, 0x42, 0}, false, u"", 4},
        {"inner zero", {6, 0, 0, 0, 0x41, 0, 0, 0, 0x42, 0}, false, u"", 4},
        {"length zero", {0, 0, 0, 0}, false, u"", 4},
        {"longer than record", {8, 0, 0, 0, 0x41, 0, 0, 0}, false, u"", 4},
        {"length truncated", {6, 0, 0}, false, u"", 0},
        {"huge length", {0xff, 0xff, 0xff, 0xff, 0x41, 0, 0, 0}, false, u"", 4},
        {"odd length", {3, 0, 0, 0, 0x41, 0, 0}, true, u"A", 7},
    };
    for (const StringCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CMyByteArray record = Bytes(c.bytes);
        uint32_t cursor = 0;
        WString text = W("stale");
        EXPECT_EQ(ReadString(record, cursor, text), c.accepted);
        EXPECT_EQ(std::u16string(text.begin(), text.end()), c.text);
        EXPECT_EQ(cursor, c.cursorAfter);
    }
}

}  // namespace
