// The objects exchanged with the service client library (their 32-bit layout
// is static-asserted in AFSSClientLib.cpp): what each virtual slot does when
// called by number, and that every global block goes back exactly once.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "AfssTestKit.h"
#include "drivers/AFSSClientLib.h"
#include "pal/windows.h"

namespace {

using namespace AuthenTec::AFSSClientLib;
using afsstest::CallSlot;

constexpr size_t P = sizeof(void*);

template <class T>
void SetFieldAt(void* pObject, size_t nOffset, T value)
{
    std::memcpy(static_cast<uint8_t*>(pObject) + nOffset, &value, sizeof value);
}

// Every test leaves the global table as it found it.
class AFSSObjects : public ::testing::Test {
protected:
    ~AFSSObjects() override { EXPECT_EQ(Live(), m_nLiveBefore); }

    static size_t Live() { return pal::LiveGlobalBlocks(); }

    const size_t m_nLiveBefore = Live();
};

TEST_F(AFSSObjects, SlotZeroReleasesOnlyWhenAskedAndSlotOneAssignsNothing)
{
    AFSSPayload* const pHeap = new AFSSPayload(2, 0, "data", 4);
    EXPECT_EQ(Live(), m_nLiveBefore + 2) << "the object and its data block are global blocks";
    // Without the release bit the object ends (its data goes) but its memory
    // stays; with it, both go (the fixture counts).
    EXPECT_EQ(CallSlot<const void*>(pHeap, 0, 0u), pHeap);
    EXPECT_EQ(Live(), m_nLiveBefore + 1);
    EXPECT_EQ(GlobalFree(pHeap), nullptr);
    CallSlot<const void*>(new AFSSSensorImage("px", 2, 0), 0, AFSSUserObjectBase::kReleaseMemory);

    AFSSSoftwareVersions versions;
    const AFSSSoftwareVersions other;
    versions.Entry(2) = AFSSSoftwareVersionInfo(5, 6, 7, 8);
    EXPECT_EQ(CallSlot<const void*>(&versions, 1, static_cast<const AFSSUserObjectBase*>(&other)), &versions);
    EXPECT_EQ(versions.Entry(2).Number(3), 8u);
    // Slot 3 of the versions assigns every number of every entry.
    CallSlot<const void*>(&versions, 3, &other);
    for (int i = 0; i < AFSSSoftwareVersionInfo::kNumbers; ++i)
        EXPECT_EQ(versions.Entry(2).Number(i), 0u);
    const AFSSSoftwareVersionInfo numbers(1, 2, 3, 4);
    CallSlot<const void*>(&versions.Entry(1), 3, &numbers);
    EXPECT_EQ(versions.Entry(1).Number(3), 4u);
}

std::string Text(const uint8_t* pData, uint32_t nBytes)
{
    return pData ? std::string(reinterpret_cast<const char*>(pData), nBytes) : std::string();
}

TEST_F(AFSSObjects, CopiesOwnTheirDataAndKeepTheirOwnLink)
{
    AFSSBuffer source("abcd", 4, 9);
    AFSSBuffer buffer("zz", 2, 1);
    CallSlot<const void*>(&buffer, 3, &source);
    EXPECT_NE(buffer.Data(), source.Data());
    EXPECT_EQ(Text(buffer.Data(), buffer.Size()) + std::to_string(buffer.Value()), "abcd9");
    const uint8_t* const pKept = buffer.Data();
    CallSlot<const void*>(&buffer, 3, &buffer);
    EXPECT_EQ(buffer.Data(), pKept) << "self-assignment does nothing";
    buffer = AFSSBuffer(nullptr, 5);
    EXPECT_EQ(buffer.Data(), nullptr);
    EXPECT_EQ(buffer.Size(), 0u) << "no data, no count";

    AFSSNode other;
    AFSSSensorImage image("pixels", 6, 3);
    image.SetNext(&other);
    // Slot 4: a copy-constructed payload (an image's too), not linked.
    AFSSPayload* const pClone = CallSlot<AFSSPayload*>(&image, 4);
    EXPECT_EQ(pClone->ObjectSize(), sizeof(AFSSPayload));
    EXPECT_EQ(pClone->Next(), nullptr);
    EXPECT_EQ(pClone->Type(), AFSSPayload::PayloadType_DisplayImage);
    EXPECT_NE(pClone->Data(), image.Data());
    EXPECT_EQ(Text(pClone->Data(), pClone->Size()), "pixels");
    // Slot 3 copies the link only; slot 5 the payload but not the link; slot 6
    // of an image adds the format.
    AFSSSensorImage target;
    CallSlot<const void*>(&target, 3, static_cast<const AFSSNode*>(&image));
    EXPECT_EQ(target.Next(), &other);
    EXPECT_EQ(target.Data(), nullptr);
    target.SetNext(nullptr);
    const AFSSPayload payload(7, 1, "xyz", 3);
    CallSlot<const void*>(&target, 5, &payload);
    EXPECT_EQ(target.Next(), nullptr);
    EXPECT_EQ(Text(target.Data(), target.Size()) + std::to_string(target.Type()) + std::to_string(target.Flag()),
              "xyz71");
    EXPECT_EQ(target.Format(), 0u);
    CallSlot<const void*>(&target, 6, &image);
    EXPECT_EQ(Text(target.Data(), target.Size()) + std::to_string(target.Format()), "pixels3");
    pClone->Destroy(AFSSUserObjectBase::kReleaseMemory);
}

TEST_F(AFSSObjects, ListAssignmentEmptiesThenClonesEveryNodeItCanReach)
{
    const auto fill = [](AFSSList& list, const std::vector<std::string>& texts) {
        for (const std::string& text : texts)
            list.Append(new AFSSPayload(static_cast<uint32_t>(text.size()), 0, text.data(),
                                        static_cast<uint32_t>(text.size())));
    };
    const auto texts = [](const AFSSList& list) {
        std::vector<std::string> found;
        for (const AFSSNode* p = list.Head(); p; p = p->Next())
            found.push_back(Text(static_cast<const AFSSPayload*>(p)->Data(), static_cast<const AFSSPayload*>(p)->Size()));
        return found;
    };
    struct Row {
        const char* what;
        int slot;
        std::vector<std::string> target, source;
        uint32_t sourceCount;  // 0: as filled; else written over, as a foreign list might
    };
    const Row rows[] = {
        {"three into two", 3, {"old", "old2"}, {"a", "bb", "ccc"}, 0},
        {"empty into two", 3, {"old", "old2"}, {}, 0},
        {"descriptor assignment, slot 4", 4, {"old"}, {"d1", "d2"}, 0},
        {"a count above the nodes", 3, {}, {"a", "b"}, 5},
        {"a count below the nodes", 3, {}, {"a", "b", "c"}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        AFSSSensorDescriptorList target, source;
        fill(target, row.target);
        fill(source, row.source);
        if (row.sourceCount)
            SetFieldAt<uint32_t>(&source, 2 * P, row.sourceCount);
        CallSlot<const void*>(&target, row.slot, static_cast<const AFSSList*>(&source));
        EXPECT_EQ(texts(target), row.source);
        EXPECT_EQ(target.Count(), row.source.size());
        for (const AFSSNode *p = target.Head(), *q = source.Head(); p && q; p = p->Next(), q = q->Next()) {
            EXPECT_NE(p, q) << "clones, not the other list's nodes";
        }
        const size_t before = Live();
        CallSlot<const void*>(&target, 3, static_cast<const AFSSList*>(&target));
        EXPECT_EQ(texts(target), row.source) << "self-assignment does nothing";
        EXPECT_EQ(Live(), before);
        SetFieldAt<uint32_t>(&source, 2 * P, static_cast<uint32_t>(row.source.size()));
    }
    AFSSList copy;
    fill(copy, {"x", "y"});
    const AFSSList copied(copy);
    EXPECT_EQ(texts(copied), texts(copy));
}

TEST_F(AFSSObjects, DataTheClientLibraryWroteIsReleasedOnlyWhenItIsALiveGlobalBlock)
{
    // A block of the heap's and a count that overstates it: the wipe stays
    // inside the block (ASan watches) and the block goes back once.
    void* const pBlock = GlobalAlloc(GPTR, 16);
    std::memset(pBlock, 0x5C, 16);
    uint8_t notGlobal[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    struct Row {
        const char* what;
        void* data;
        uint32_t count;
    };
    const Row rows[] = {
        {"a global block, count overstated", pBlock, 1u << 20},
        {"the same block again, now stale", pBlock, 16},
        {"memory that is not a global block", notGlobal, sizeof notGlobal},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        {
            AFSSSensorImage image;
            SetFieldAt<void*>(&image, 2 * P + 8, row.data);  // as the image request fills it
            SetFieldAt<uint32_t>(&image, 3 * P + 8, row.count);
            AFSSBuffer buffer;
            SetFieldAt<void*>(&buffer, P, row.data == pBlock ? nullptr : row.data);
        }
        EXPECT_EQ(GlobalFlags(pBlock), static_cast<UINT>(GMEM_INVALID_HANDLE));
    }
    EXPECT_EQ(Text(notGlobal, 8), std::string("\1\2\3\4\5\6\7\10", 8)) << "neither wiped nor freed";
}

}  // namespace
