// The frames between a session and the client: their bytes on the wire, and
// what a reader makes of short, long, odd and missing input.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <thread>

#include "RdpTestKit.h"

namespace {

using rdptest::Bytes;
using vrdp::EFrame;
using vrdp::ERecv;

struct CPair {
    CPair()
    {
        int fds[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        a.Reset(fds[0]);
        b.Reset(fds[1]);
    }
    void Put(const Bytes& bytes) const
    {
        ASSERT_EQ(send(a.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    }
    vrdp::CFileDescriptor a, b;
};

Bytes Header(uint32_t nType, uint32_t nA, uint32_t nB, uint32_t nLength)
{
    Bytes bytes;
    for (const uint32_t nWord : {nType, nA, nB, nLength})
        for (int i = 0; i < 4; ++i)
            bytes.push_back(uint8_t(nWord >> (8 * i)));
    return bytes;
}

TEST(RdpWireTest, FramesTravelAsLittleEndianWordsAndData)
{
    CPair pair;
    const vrdp::SFrame sent = rdptest::Frame(EFrame::Chunk, 0x01020304, 0xA0B0C0D0, {7, 8, 9});
    ASSERT_TRUE(vrdp::SendFrame(pair.a.Get(), sent, 1000));
    Bytes raw(19);
    ASSERT_EQ(recv(pair.b.Get(), raw.data(), raw.size(), MSG_WAITALL), 19);
    Bytes expected = Header(6, 0x01020304, 0xA0B0C0D0, 3);
    expected.insert(expected.end(), {7, 8, 9});
    EXPECT_EQ(raw, expected);
    EXPECT_EQ(vrdp::EncodeFrame(sent), expected);

    // The same bytes read back, arriving in two parts.
    std::thread writer([&] {
        pair.Put(Bytes(expected.begin(), expected.begin() + 10));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pair.Put(Bytes(expected.begin() + 10, expected.end()));
    });
    vrdp::SFrame received;
    EXPECT_EQ(vrdp::ReceiveFrame(pair.b.Get(), received, 5000), ERecv::Frame);
    writer.join();
    EXPECT_EQ(received.eType, EFrame::Chunk);
    EXPECT_EQ(received.nA, 0x01020304u);
    EXPECT_EQ(received.nB, 0xA0B0C0D0u);
    EXPECT_EQ(received.data, (Bytes{7, 8, 9}));
}

// A reader refuses a frame from its header alone: the data of one that is
// too long stays unread in the socket.
TEST(RdpWireTest, BadInputIsToldApart)
{
    struct Row {
        const char* pszCase;
        Bytes bytes;
        bool bCloseAfter;
        ERecv eExpected;
        vrdp::EParse eParse;
    };
    Bytes tooLong = Header(4, 0, 0, vrdp::kMaxFrameData + 1);
    tooLong.insert(tooLong.end(), {'r', 'e', 's', 't'});
    const Row rows[] = {
        {"type 0", Header(0, 0, 0, 0), false, ERecv::Malformed, vrdp::EParse::Malformed},
        {"type 8", Header(8, 0, 0, 0), false, ERecv::Malformed, vrdp::EParse::Malformed},
        {"data over the limit", tooLong, false, ERecv::Malformed, vrdp::EParse::Malformed},
        {"half a header", Bytes(8, 1), false, ERecv::TimedOut, vrdp::EParse::Incomplete},
        {"data missing", Header(4, 0, 0, 5), false, ERecv::TimedOut, vrdp::EParse::Incomplete},
        {"ends inside the data", Header(4, 0, 0, 5), true, ERecv::Closed, vrdp::EParse::Incomplete},
        {"ends before a frame", Bytes(), true, ERecv::Closed, vrdp::EParse::Incomplete},
        {"the largest frame", Header(4, 0, 0, vrdp::kMaxFrameData), false, ERecv::TimedOut,
         vrdp::EParse::Incomplete},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pszCase);
        CPair pair;
        if (!row.bytes.empty())
            pair.Put(row.bytes);
        if (row.bCloseAfter)
            pair.a.Reset();
        vrdp::SFrame frame;
        EXPECT_EQ(vrdp::ReceiveFrame(pair.b.Get(), frame, 100), row.eExpected);
        Bytes buffer = row.bytes;
        EXPECT_EQ(vrdp::TakeFrame(buffer, frame), row.eParse);
        EXPECT_EQ(buffer, row.bytes) << "nothing is taken from a buffer without a whole frame";
    }
    CPair pair;
    pair.Put(tooLong);
    vrdp::SFrame frame;
    ASSERT_EQ(vrdp::ReceiveFrame(pair.b.Get(), frame, 100), ERecv::Malformed);
    char rest[8] = {};
    EXPECT_EQ(recv(pair.b.Get(), rest, sizeof rest, MSG_DONTWAIT), 4);
    EXPECT_STREQ(rest, "rest");
}

TEST(RdpWireTest, TakeFrameTakesWholeFramesOneAtATime)
{
    Bytes stream = vrdp::EncodeFrame(rdptest::Frame(EFrame::Hello, 0, 0, {'V', 'T'}));
    const Bytes second = vrdp::EncodeFrame(rdptest::Frame(EFrame::Read, 250));
    stream.insert(stream.end(), second.begin(), second.end() - 1);
    vrdp::SFrame frame;
    ASSERT_EQ(vrdp::TakeFrame(stream, frame), vrdp::EParse::Frame);
    EXPECT_EQ(frame.eType, EFrame::Hello);
    EXPECT_EQ(frame.data, (Bytes{'V', 'T'}));
    EXPECT_EQ(vrdp::TakeFrame(stream, frame), vrdp::EParse::Incomplete);
    stream.push_back(second.back());
    ASSERT_EQ(vrdp::TakeFrame(stream, frame), vrdp::EParse::Frame);
    EXPECT_EQ(frame.eType, EFrame::Read);
    EXPECT_EQ(frame.nA, 250u);
    EXPECT_TRUE(stream.empty());
}

// A peer that does not read makes a send give up at its bound; a peer that
// is gone makes it fail, without SIGPIPE ending the process.
TEST(RdpWireTest, SendsAreBoundedAndSurviveAGonePeer)
{
    CPair full;
    const vrdp::SFrame big = rdptest::Frame(EFrame::Write, 0, 0, Bytes(vrdp::kMaxFrameData));
    EXPECT_FALSE(vrdp::SendFrame(full.a.Get(), big, 200));
    EXPECT_FALSE(vrdp::SendFrame(full.a.Get(), rdptest::Frame(EFrame::Write, 0, 0, Bytes(vrdp::kMaxFrameData + 1)), 200));

    CPair gone;
    gone.b.Reset();
    EXPECT_FALSE(vrdp::SendFrame(gone.a.Get(), rdptest::Frame(EFrame::Read, 1), 200));
}

}  // namespace
