// The frames between a session and the client: what a reader makes of
// short, long, odd and missing input.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include "RdpTestKit.h"

namespace {

using rdptest::Bytes;
using vrdp::EFrame;
using vrdp::EParse;
using vrdp::ERecv;

struct CPair {
    CPair()
    {
        int fds[2];
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        a.Reset(fds[0]);
        b.Reset(fds[1]);
    }
    vrdp::CFileDescriptor a, b;
};

Bytes Header(uint32_t nType, uint32_t nLength)
{
    Bytes bytes(16, 0);
    bytes[0] = uint8_t(nType);
    for (int i = 0; i < 4; ++i)
        bytes[12 + i] = uint8_t(nLength >> (8 * i));
    return bytes;
}

// A reader refuses a frame from its header alone and takes nothing from a
// buffer without a whole frame; a send of too much, to a peer that does not
// read or to one that is gone fails without SIGPIPE ending the process.
TEST(RdpWireTest, BadInputIsToldApart)
{
    struct Row {
        const char* pszCase;
        Bytes bytes;
        bool bCloseAfter;
        ERecv eExpected;
        EParse eParse;
    };
    const Row rows[] = {
        {"type 0", Header(0, 0), false, ERecv::Malformed, EParse::Malformed},
        {"type 8", Header(8, 0), false, ERecv::Malformed, EParse::Malformed},
        {"data over the limit", Header(4, vrdp::kMaxFrameData + 1), false, ERecv::Malformed, EParse::Malformed},
        {"the largest frame", Header(4, vrdp::kMaxFrameData), false, ERecv::TimedOut, EParse::Incomplete},
        {"half a header", Bytes(8, 1), false, ERecv::TimedOut, EParse::Incomplete},
        {"ends inside the data", Header(4, 5), true, ERecv::Closed, EParse::Incomplete},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pszCase);
        CPair pair;
        ASSERT_EQ(send(pair.a.Get(), row.bytes.data(), row.bytes.size(), 0), ssize_t(row.bytes.size()));
        if (row.bCloseAfter)
            pair.a.Reset();
        vrdp::SFrame frame;
        EXPECT_EQ(vrdp::ReceiveFrame(pair.b.Get(), frame, 100), row.eExpected);
        Bytes buffer = row.bytes;
        EXPECT_EQ(vrdp::TakeFrame(buffer, frame), row.eParse);
        EXPECT_EQ(buffer, row.bytes);
    }
    CPair full;
    EXPECT_FALSE(vrdp::SendFrame(full.a.Get(), {EFrame::Write, 0, 0, Bytes(vrdp::kMaxFrameData)}, 200));
    EXPECT_FALSE(vrdp::SendFrame(full.a.Get(), {EFrame::Write, 0, 0, Bytes(vrdp::kMaxFrameData + 1)}, 200));
    full.b.Reset();
    EXPECT_FALSE(vrdp::SendFrame(full.a.Get(), {EFrame::Read, 1, 0, {}}, 200));
}

}  // namespace
