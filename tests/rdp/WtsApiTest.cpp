// libWtsApi32.so against a scripted client: how each call reads the
// client's answers, and the Win32 codes the caller's GetLastError sees
// (through LoadLibraryW and GetProcAddress, as the library calls it, so
// that the last error has to cross from the library's copy of pal/).
#include <gtest/gtest.h>

#include <cstring>
#include <future>

#include "RdpTestKit.h"
#include "common/TestMachine.h"
#include "sim/rdp/WtsErrors.h"

namespace {

using rdptest::Bytes;
using rdptest::Expect;
using rdptest::Send;
using vrdp::EFrame;

char g_szName[] = "VTEST";

// The call fails, and the caller's GetLastError tells why.
void ExpectFails(DWORD nCode, const std::function<BOOL()>& call)
{
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(call());
    EXPECT_EQ(GetLastError(), nCode);
}

class WtsApiTest : public testkit::MachineTest {
protected:
    WtsApiTest() { setenv("VESK_RDP_SESSION", Socket().c_str(), 1); }
    std::string Socket() const { return Path("client.sock"); }

    // Opens VTEST on a scripted client that accepts it with these options
    // and then runs `rest`.
    HANDLE OpenAccepted(ULONG nOptions, std::function<void(int)> rest)
    {
        m_client.Serve([nOptions, rest = std::move(rest)](int nFd) {
            Expect(nFd, EFrame::Hello);
            ASSERT_TRUE(Send(nFd, EFrame::Accepted, nOptions));
            rest(nFd);
        });
        const HANDLE hChannel = m_wts.Open(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, g_szName);
        EXPECT_NE(hChannel, nullptr) << GetLastError();
        return hChannel;
    }

    rdptest::CWtsApi m_wts;
    rdptest::CScriptedClient m_client{Socket()};
};

TEST_F(WtsApiTest, OpenRefusalsCarryWindowsCodes)
{
    struct Row {
        DWORD nSession;
        std::string sName;
        std::string sSocket;  // "" when not in a remote session
        bool bRefused;        // by a client at the socket
        DWORD nCode;
    };
    const Row rows[] = {
        {2, "VTEST", Socket(), false, ERROR_INVALID_PARAMETER},
        {WTS_CURRENT_SESSION, "VTESTXYZ", Socket(), false, ERROR_INVALID_PARAMETER},
        {WTS_CURRENT_SESSION, "VTEST", "", false, ERROR_FILE_NOT_FOUND},
        {WTS_CURRENT_SESSION, "VTEST", Path("nobody.sock"), false, ERROR_FILE_NOT_FOUND},
        {WTS_CURRENT_SESSION, "VTEST", Socket(), true, ERROR_ACCESS_DENIED},
    };
    for (Row row : rows) {
        SCOPED_TRACE(row.sName + " " + row.sSocket);
        if (row.bRefused) {
            m_client.Serve([](int nFd) {
                Expect(nFd, EFrame::Hello);
                Send(nFd, EFrame::Refused, ERROR_ACCESS_DENIED);
            });
        }
        setenv("VESK_RDP_SESSION", row.sSocket.c_str(), 1);
        ExpectFails(row.nCode, [&] { return m_wts.Open(WTS_CURRENT_SERVER_HANDLE, row.nSession, row.sName.data()) != nullptr; });
        m_client.Join();
    }
}

// Each read asks the client for one chunk with its time-out (at most 10 s).
// A chunk that does not fit is lost: the next read gets the one after it.
// The channel stays usable after a read that found nothing.
TEST_F(WtsApiTest, ReadsStoreOneChunkEach)
{
    const Bytes last = rdptest::Pattern(700, 2);
    std::vector<uint32_t> waits;
    const HANDLE hChannel = OpenAccepted(0, [&](int nFd) {
        waits.push_back(Expect(nFd, EFrame::Read).nA);
        Send(nFd, EFrame::Chunk, 2300, CHANNEL_FLAG_FIRST, rdptest::Pattern(1600, 1));
        waits.push_back(Expect(nFd, EFrame::Read).nA);
        Send(nFd, EFrame::Nothing);
        waits.push_back(Expect(nFd, EFrame::Read).nA);
        Send(nFd, EFrame::Chunk, 2300, CHANNEL_FLAG_LAST, last);
    });
    std::vector<char> buffer(1600);
    for (const auto& [nWait, nCode] : {std::pair<DWORD, DWORD>{5000, ERROR_INSUFFICIENT_BUFFER}, {250, ERROR_TIMEOUT}}) {
        ULONG nRead = 99;
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(m_wts.Read(hChannel, nWait, buffer.data(), 1599, &nRead));
        EXPECT_EQ(nRead, 0u);
        EXPECT_EQ(GetLastError(), nCode);
    }
    ULONG nRead = 0;
    ASSERT_TRUE(m_wts.Read(hChannel, INFINITE, buffer.data(), 1600, &nRead)) << GetLastError();
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + nRead), last);
    m_client.Join();
    EXPECT_EQ(waits, (std::vector<uint32_t>{5000, 250, vrdp::kMaxReadWaitMs}));
    EXPECT_TRUE(m_wts.Close(hChannel));
}

// However the client goes away, every later call on the handle answers
// ERROR_BROKEN_PIPE; only Close still works.
TEST_F(WtsApiTest, AClientThatIsGoneBreaksTheHandleForGood)
{
    const std::vector<std::pair<const char*, std::function<void(int)>>> endings = {
        {"closes", [](int) {}},
        {"sends a chunk over 1600 bytes",
         [](int nFd) {
             Expect(nFd, EFrame::Read);
             Send(nFd, EFrame::Chunk, 1601, CHANNEL_FLAG_ONLY, Bytes(1601));
         }},
    };
    for (const auto& [pszCase, ending] : endings) {
        SCOPED_TRACE(pszCase);
        const HANDLE hChannel = OpenAccepted(0, ending);
        char buffer[1608];
        ULONG nCount = 0;
        for (int i = 0; i < 2; ++i) {
            ExpectFails(ERROR_BROKEN_PIPE, [&] { return m_wts.Read(hChannel, 1000, buffer, sizeof buffer, &nCount); });
            ExpectFails(ERROR_BROKEN_PIPE, [&] { return m_wts.Write(hChannel, buffer, 10, &nCount); });
        }
        m_client.Join();
        EXPECT_TRUE(m_wts.Close(hChannel));
    }
}

// A write of no bytes or of more than a frame holds is refused. Close ends
// a read under way on another thread at once; after it the handle is
// stale, like one never given out.
TEST_F(WtsApiTest, CloseEndsAReadUnderWayAndMakesTheHandleStale)
{
    std::promise<void> readArrived;
    const HANDLE hChannel = OpenAccepted(0, [&](int nFd) {
        Expect(nFd, EFrame::Read);
        readArrived.set_value();
        vrdp::SFrame frame;
        vrdp::ReceiveFrame(nFd, frame, 20000);  // until the session closes
        Send(nFd, EFrame::Chunk, 1, CHANNEL_FLAG_ONLY, Bytes(1));
    });
    PVOID pBuffer = nullptr;
    DWORD nBytes = 0;
    ExpectFails(ERROR_NOT_SUPPORTED, [&] { return m_wts.Query(hChannel, WTSVirtualClientData, &pBuffer, &nBytes); });
    Bytes tooLong(vrdp::kMaxFrameData + 1);
    for (const ULONG nSize : {ULONG(tooLong.size()), ULONG(0)})
        ExpectFails(ERROR_INVALID_PARAMETER,
                    [&] { return m_wts.Write(hChannel, reinterpret_cast<PCHAR>(tooLong.data()), nSize, &nBytes); });

    auto read = std::async(std::launch::async, [&] {
        char buffer[1608];
        ULONG nRead = 0;
        return m_wts.Read(hChannel, 10000, buffer, sizeof buffer, &nRead) ? DWORD(0) : GetLastError();
    });
    ASSERT_EQ(readArrived.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_TRUE(m_wts.Close(hChannel));
    EXPECT_EQ(read.get(), DWORD(ERROR_BROKEN_PIPE));
    m_client.Join();

    for (const HANDLE hStale : {hChannel, reinterpret_cast<HANDLE>(0x104)}) {
        char buffer[16];
        ULONG nCount = 0;
        ExpectFails(ERROR_INVALID_HANDLE, [&] { return m_wts.Read(hStale, 0, buffer, sizeof buffer, &nCount); });
        ExpectFails(ERROR_INVALID_HANDLE, [&] { return m_wts.Write(hStale, buffer, 1, &nCount); });
        ExpectFails(ERROR_INVALID_HANDLE, [&] { return m_wts.Close(hStale); });
    }
}

}  // namespace
