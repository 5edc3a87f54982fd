// The session side over xrdp's channel server, with libxrdpapi's calls on a
// socket pair: the chunks come whole, every read is bounded, a message that
// stops half-way or a closed server breaks the channel, and a shutdown from
// another thread ends a waiting read.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "pal/wts/channel.h"
#include "sim/rdp/CXrdpChannel.h"
#include "sim/rdp/WtsErrors.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

int FakeRead(void* hChannel, unsigned int nTimeoutMs, char* pBuffer, unsigned int nSize, unsigned int* pRead)
{
    pollfd wait{*static_cast<int*>(hChannel), POLLIN, 0};
    *pRead = 0;
    if (poll(&wait, 1, static_cast<int>(nTimeoutMs)) <= 0)
        return 1;
    const ssize_t nGot = recv(wait.fd, pBuffer, nSize, 0);
    if (nGot <= 0)
        return 0;
    *pRead = static_cast<unsigned int>(nGot);
    return 1;
}

int FakeWrite(void* hChannel, const char* pData, unsigned int nLength, unsigned int* pWritten)
{
    const ssize_t nSent = send(*static_cast<int*>(hChannel), pData, nLength, MSG_NOSIGNAL);
    *pWritten = nSent > 0 ? static_cast<unsigned int>(nSent) : 0;
    return nSent >= 0;
}

int FakeClose(void*) { return 1; }

const vrdp::SXrdpApi kFake{nullptr, &FakeWrite, &FakeRead, &FakeClose, nullptr, nullptr};

Bytes Message(uint32_t nTotal)
{
    Bytes message(nTotal, 0x5A);
    for (int i = 0; i < 4; ++i)
        message[i] = uint8_t((nTotal - 8) >> (8 * i));
    return message;
}

struct SPair {
    SPair() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0); }
    ~SPair()
    {
        close(fds[0]);
        if (fds[1] >= 0)
            close(fds[1]);
    }
    int fds[2] = {-1, -1};  // the session's end, the channel server's end
};

struct SCase {
    const char* name;
    std::vector<Bytes> pieces;  // sent 50 ms apart
    bool bServerCloses;
    ULONG nTimeoutMs, nBuffer;
    DWORD nCode;
    ULONG nRead;
    int nMinMs, nMaxMs;
};

TEST(XrdpChannelTest, ReadsAnswerAsOnWindowsWithinTheirBounds)
{
    const Bytes command = Message(64), image = Message(3000);
    const SCase cases[] = {
        {"a command in two pieces", {Bytes(command.begin(), command.begin() + 10), Bytes(command.begin() + 10, command.end())},
         false, 2000, 1608, ERROR_SUCCESS, 72, 40, 1000},
        {"nothing within the time-out", {}, false, 200, 1608, ERROR_TIMEOUT, 0, 190, 600},
        {"a message that stops half-way", {Bytes(image.begin(), image.begin() + 100)}, false, 5000, 1608,
         ERROR_BROKEN_PIPE, 0, 250, 1000},
        {"the channel server closes", {}, true, 5000, 1608, ERROR_BROKEN_PIPE, 0, 0, 300},
        {"a chunk over the buffer", {command}, false, 2000, 71, ERROR_INSUFFICIENT_BUFFER, 0, 0, 300},
        {"a length over the limit", {{0xF0, 0xFF, 0xFF, 0xFF}}, false, 2000, 1608, ERROR_BROKEN_PIPE, 0, 0, 300},
    };
    for (const SCase& test : cases) {
        SPair pair;
        int nSession = pair.fds[0];
        vrdp::CXrdpChannel channel(kFake, &nSession, nSession);
        std::thread server([&] {
            for (const Bytes& piece : test.pieces) {
                send(pair.fds[1], piece.data(), piece.size(), MSG_NOSIGNAL);
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            if (test.bServerCloses) {
                close(pair.fds[1]);
                pair.fds[1] = -1;
            }
        });
        Bytes buffer(test.nBuffer);
        ULONG nRead = 0;
        const Clock::time_point tStart = Clock::now();
        EXPECT_EQ(channel.Read(test.nTimeoutMs, buffer.data(), test.nBuffer, nRead), test.nCode) << test.name;
        const auto nMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - tStart).count();
        server.join();
        EXPECT_EQ(nRead, test.nRead) << test.name;
        EXPECT_GE(nMs, test.nMinMs) << test.name;
        EXPECT_LE(nMs, test.nMaxMs) << test.name;
        if (test.nCode == ERROR_SUCCESS) {
            EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 8), Bytes({64, 0, 0, 0, CHANNEL_FLAG_ONLY, 0, 0, 0}))
                << test.name;
        }
        if (test.nCode == ERROR_BROKEN_PIPE) {
            EXPECT_EQ(channel.Write(command.data(), ULONG(command.size())), ULONG(ERROR_BROKEN_PIPE)) << test.name;
        }
    }
}

TEST(XrdpChannelTest, AShutdownFromAnotherThreadEndsAWaitingRead)
{
    SPair pair;
    int nSession = pair.fds[0];
    vrdp::CXrdpChannel channel(kFake, &nSession, nSession);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        channel.Shutdown();
    });
    Bytes buffer(1608);
    ULONG nRead = 0;
    const Clock::time_point tStart = Clock::now();
    EXPECT_EQ(channel.Read(5000, buffer.data(), 1608, nRead), ULONG(ERROR_BROKEN_PIPE));
    EXPECT_LT(Clock::now() - tStart, std::chrono::milliseconds(1000));
    stopper.join();
}

}  // namespace
