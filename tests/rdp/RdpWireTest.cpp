// The frames between a session and the client: a reader refuses a frame
// whose header claims more data than a frame may hold.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include "RdpTestKit.h"

namespace {

TEST(RdpWireTest, AFrameOverTheLengthLimitIsRefusedFromItsHeader)
{
    rdptest::Bytes header(16, 0);
    header[0] = uint8_t(vrdp::EFrame::Write);
    for (int i = 0; i < 4; ++i)
        header[12 + i] = uint8_t((vrdp::kMaxFrameData + 1) >> (8 * i));
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    const vrdp::CFileDescriptor a(fds[0]), b(fds[1]);
    ASSERT_EQ(send(a.Get(), header.data(), header.size(), 0), ssize_t(header.size()));
    vrdp::SFrame frame;
    EXPECT_EQ(vrdp::ReceiveFrame(b.Get(), frame, 100), vrdp::ERecv::Malformed);
    rdptest::Bytes buffer = header;
    EXPECT_EQ(vrdp::TakeFrame(buffer, frame), vrdp::EParse::Malformed);
}

}  // namespace
