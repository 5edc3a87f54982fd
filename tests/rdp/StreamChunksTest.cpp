// xrdp's byte stream cut back into the chunks a Windows session reads: the
// same chunks and headers however the stream is split on the way, and no
// wait for a message longer than a message may be.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "pal/wts/channel.h"
#include "sim/rdp/StreamChunks.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A message as it goes on our channel: the count of what follows its first 8
// bytes, then that many more bytes (a pattern with the message's number).
Bytes Message(uint32_t nTotal, uint8_t nTag)
{
    Bytes message(nTotal);
    for (uint32_t i = 0; i < nTotal; ++i)
        message[i] = uint8_t(nTag + i * 7);
    for (int i = 0; i < 4; ++i)
        message[i] = uint8_t((nTotal - 8) >> (8 * i));
    return message;
}

struct SChunk {
    uint32_t nTotal, nFlags, nOffset, nLength;
};

struct SCase {
    const char* name;
    std::vector<uint32_t> messages;  // total lengths
    size_t nPiece;                   // the stream arrives in pieces of this size
    std::vector<SChunk> expected;    // offsets into the whole stream
};

TEST(StreamChunksTest, TheStreamIsCutIntoTheClientsChunks)
{
    const uint32_t F = CHANNEL_FLAG_FIRST, L = CHANNEL_FLAG_LAST, C = CHANNEL_CHUNK_LENGTH;
    const SCase cases[] = {
        {"a command in one piece", {64}, 64, {{64, F | L, 0, 64}}},
        {"a command byte by byte", {64}, 1, {{64, F | L, 0, 64}}},
        {"two messages in one piece", {64, 16}, 80, {{64, F | L, 0, 64}, {16, F | L, 64, 16}}},
        {"exactly one chunk", {C}, 999, {{C, F | L, 0, C}}},
        {"an image over three chunks, odd pieces", {2 * C + 5}, 1013,
         {{2 * C + 5, F, 0, C}, {2 * C + 5, 0, C, C}, {2 * C + 5, L, 2 * C, 5}}},
        {"an image then a command, split in the length", {C + 1, 64}, 3,
         {{C + 1, F, 0, C}, {C + 1, L, C, 1}, {64, F | L, C + 1, 64}}},
        {"the smallest message", {8, 8}, 5, {{8, F | L, 0, 8}, {8, F | L, 8, 8}}},
    };
    for (const SCase& test : cases) {
        Bytes stream;
        uint8_t nTag = 1;
        for (uint32_t nTotal : test.messages) {
            const Bytes message = Message(nTotal, nTag++);
            stream.insert(stream.end(), message.begin(), message.end());
        }
        vrdp::CStreamChunks chunks(1 << 20);
        std::vector<Bytes> got;
        Bytes chunk;
        for (size_t n = 0; n < stream.size(); n += test.nPiece) {
            chunks.Feed(stream.data() + n, std::min(test.nPiece, stream.size() - n));
            while (chunks.Take(chunk) == vrdp::CStreamChunks::ETake::Chunk)
                got.push_back(chunk);
        }
        EXPECT_FALSE(chunks.InMessage()) << test.name;
        ASSERT_EQ(got.size(), test.expected.size()) << test.name;
        for (size_t i = 0; i < got.size(); ++i) {
            const SChunk& want = test.expected[i];
            Bytes expected(8);
            for (int b = 0; b < 4; ++b) {
                expected[b] = uint8_t(want.nTotal >> (8 * b));
                expected[4 + b] = uint8_t(want.nFlags >> (8 * b));
            }
            expected.insert(expected.end(), stream.begin() + want.nOffset,
                            stream.begin() + want.nOffset + want.nLength);
            EXPECT_EQ(got[i], expected) << test.name << ", chunk " << i;
        }
    }
}

TEST(StreamChunksTest, AMessageOverTheLimitIsRefusedFromItsLength)
{
    const struct {
        uint32_t nField;
        bool bRefused;
    } cases[] = {{1000 - 8, false}, {1000 - 7, true}, {0xFFFFFFFFu, true}, {0xFFFFFFF8u, true}};
    for (const auto& test : cases) {
        vrdp::CStreamChunks chunks(1000);
        const Bytes head = {uint8_t(test.nField), uint8_t(test.nField >> 8), uint8_t(test.nField >> 16),
                            uint8_t(test.nField >> 24)};
        chunks.Feed(head.data(), head.size());
        Bytes chunk;
        const auto eWant = test.bRefused ? vrdp::CStreamChunks::ETake::Malformed
                                         : vrdp::CStreamChunks::ETake::Incomplete;
        EXPECT_EQ(chunks.Take(chunk), eWant) << test.nField;
        chunks.Feed(Bytes(2000).data(), 2000);
        EXPECT_EQ(chunks.Take(chunk) == vrdp::CStreamChunks::ETake::Malformed, test.bRefused) << test.nField;
    }
}

}  // namespace
