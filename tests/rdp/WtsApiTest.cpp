// libWtsApi32.so against a scripted client: what each call sends, how it
// reads the answers, and the Win32 codes the caller's GetLastError sees
// (through LoadLibraryW and GetProcAddress, as the library calls it, so
// that the last error has to cross from the library's copy of pal/).
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <condition_variable>
#include <cstring>
#include <mutex>

#include "RdpTestKit.h"
#include "common/TestMachine.h"
#include "sim/rdp/WtsErrors.h"

namespace {

using rdptest::Bytes;
using rdptest::Expect;
using rdptest::Frame;
using vrdp::EFrame;

char g_szName[] = "VTEST";

class WtsApiTest : public testkit::MachineTest {
protected:
    std::string Socket() const { return Path("client.sock"); }

    // Opens VTEST on a scripted client that accepts it with these options
    // and then runs `rest`.
    HANDLE OpenAccepted(ULONG nOptions, std::function<void(int)> rest)
    {
        m_client.Serve([nOptions, rest = std::move(rest)](int nFd) {
            Expect(nFd, EFrame::Hello);
            ASSERT_TRUE(vrdp::SendFrame(nFd, Frame(EFrame::Accepted, nOptions), 5000));
            rest(nFd);
        });
        const HANDLE hChannel = m_wts.Open(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, g_szName);
        EXPECT_NE(hChannel, nullptr) << GetLastError();
        return hChannel;
    }

    rdptest::CEnvironment m_session{"VESK_RDP_SESSION", Socket()};
    rdptest::CWtsApi m_wts;
    rdptest::CScriptedClient m_client{Socket()};
};

TEST_F(WtsApiTest, OpenRefusalsCarryWindowsCodes)
{
    enum class EClient { None, Refuses, NotInSession, NobodyListens };
    struct Row {
        const char* pszCase;
        HANDLE hServer;
        DWORD nSession;
        const char* pszName;
        EClient eClient;
        DWORD nCode;
    };
    const HANDLE hOther = reinterpret_cast<HANDLE>(0x40);
    const Row rows[] = {
        {"another server", hOther, WTS_CURRENT_SESSION, "VTEST", EClient::None, ERROR_INVALID_PARAMETER},
        {"another session", WTS_CURRENT_SERVER_HANDLE, 2, "VTEST", EClient::None, ERROR_INVALID_PARAMETER},
        {"no name", WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, nullptr, EClient::None, ERROR_INVALID_PARAMETER},
        {"empty name", WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, "", EClient::None, ERROR_INVALID_PARAMETER},
        {"8 characters", WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, "VTESTXYZ", EClient::None, ERROR_INVALID_PARAMETER},
        {"console session", WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, "VTEST", EClient::NotInSession, ERROR_FILE_NOT_FOUND},
        {"no client", WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, "VTEST", EClient::NobodyListens, ERROR_FILE_NOT_FOUND},
        {"refused", WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, "VTEST", EClient::Refuses, ERROR_ACCESS_DENIED},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pszCase);
        std::string sHello;
        if (row.eClient == EClient::Refuses) {
            m_client.Serve([&sHello](int nFd) {
                const vrdp::SFrame hello = Expect(nFd, EFrame::Hello);
                sHello.assign(hello.data.begin(), hello.data.end());
                vrdp::SendFrame(nFd, Frame(EFrame::Refused, ERROR_ACCESS_DENIED), 5000);
            });
        }
        if (row.eClient == EClient::NotInSession)
            unsetenv("VESK_RDP_SESSION");
        if (row.eClient == EClient::NobodyListens)
            setenv("VESK_RDP_SESSION", Path("nobody.sock").c_str(), 1);
        std::string sName = row.pszName ? row.pszName : "";
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(m_wts.Open(row.hServer, row.nSession, row.pszName ? sName.data() : nullptr), nullptr);
        EXPECT_EQ(GetLastError(), row.nCode);
        m_client.Join();
        if (row.eClient == EClient::Refuses) {
            EXPECT_EQ(sHello, "VTEST");
        }
        setenv("VESK_RDP_SESSION", Socket().c_str(), 1);
    }
}

// Each read asks the client for one chunk with its time-out (at most 10 s)
// and stores it behind an 8-byte CHANNEL_PDU_HEADER when the channel's
// options say so. A chunk that does not fit is lost: the next read gets the
// one after it. The channel stays usable after a read that found nothing.
TEST_F(WtsApiTest, ReadsStoreOneChunkEach)
{
    enum class EFirst { Fits, TooSmall, Nothing };
    struct Row {
        const char* pszCase;
        ULONG nOptions;
        ULONG nFirstBuffer;
        EFirst eFirst;
    };
    const Row rows[] = {
        {"header shown", CHANNEL_OPTION_SHOW_PROTOCOL | CHANNEL_OPTION_INITIALIZED, 1608, EFirst::Fits},
        {"data alone", CHANNEL_OPTION_INITIALIZED, 1600, EFirst::Fits},
        {"no room for the header", CHANNEL_OPTION_SHOW_PROTOCOL, 1607, EFirst::TooSmall},
        {"no room for the data", 0, 1599, EFirst::TooSmall},
        {"nothing came", CHANNEL_OPTION_SHOW_PROTOCOL, 1608, EFirst::Nothing},
    };
    const Bytes first = rdptest::Pattern(1600, 1);
    const Bytes second = rdptest::Pattern(700, 2);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pszCase);
        std::vector<uint32_t> waits;
        const HANDLE hChannel = OpenAccepted(row.nOptions, [&](int nFd) {
            waits.push_back(Expect(nFd, EFrame::Read).nA);
            vrdp::SendFrame(nFd, row.eFirst == EFirst::Nothing ? Frame(EFrame::Nothing)
                                                             : Frame(EFrame::Chunk, 2300, CHANNEL_FLAG_FIRST, first),
                            5000);
            waits.push_back(Expect(nFd, EFrame::Read).nA);
            vrdp::SendFrame(nFd, Frame(EFrame::Chunk, 2300, CHANNEL_FLAG_LAST, second), 5000);
        });
        const bool bHeader = (row.nOptions & CHANNEL_OPTION_SHOW_PROTOCOL) != 0;
        std::vector<char> buffer(2000, '\x55');
        ULONG nRead = 99;
        SetLastError(ERROR_SUCCESS);
        const BOOL bFirst = m_wts.Read(hChannel, 250, buffer.data(), row.nFirstBuffer, &nRead);
        if (row.eFirst == EFirst::Fits) {
            ASSERT_TRUE(bFirst) << GetLastError();
            ASSERT_EQ(nRead, (bHeader ? 8u : 0u) + 1600u);
            CHANNEL_PDU_HEADER header{};
            std::memcpy(&header, buffer.data(), sizeof header);
            if (bHeader) {
                EXPECT_EQ(header.length, 2300u);
                EXPECT_EQ(header.flags, unsigned(CHANNEL_FLAG_FIRST));
            }
            EXPECT_EQ(Bytes(buffer.begin() + (bHeader ? 8 : 0), buffer.begin() + nRead), first);
        } else {
            EXPECT_FALSE(bFirst);
            EXPECT_EQ(nRead, 0u);
            EXPECT_EQ(GetLastError(), row.eFirst == EFirst::Nothing ? DWORD(ERROR_TIMEOUT)
                                                                    : DWORD(ERROR_INSUFFICIENT_BUFFER));
        }
        ASSERT_TRUE(m_wts.Read(hChannel, INFINITE, buffer.data(), 1608, &nRead)) << GetLastError();
        ASSERT_EQ(nRead, (bHeader ? 8u : 0u) + 700u);
        EXPECT_EQ(Bytes(buffer.begin() + (bHeader ? 8 : 0), buffer.begin() + nRead), second);
        m_client.Join();
        EXPECT_EQ(waits, (std::vector<uint32_t>{250, vrdp::kMaxReadWaitMs}));
        EXPECT_TRUE(m_wts.Close(hChannel));
    }
}

TEST_F(WtsApiTest, WriteSendsTheWholeBlockAsOneFrame)
{
    const std::vector<Bytes> blocks = {rdptest::Pattern(1, 3), rdptest::Pattern(3 * 1600, 4),
                                       rdptest::Pattern(100000, 5)};
    std::vector<Bytes> received;
    const HANDLE hChannel = OpenAccepted(0, [&](int nFd) {
        for (size_t i = 0; i < blocks.size(); ++i)
            received.push_back(Expect(nFd, EFrame::Write).data);
    });
    Bytes tooLong(vrdp::kMaxFrameData + 1);
    ULONG nWritten = 99;
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(m_wts.Write(hChannel, reinterpret_cast<PCHAR>(tooLong.data()), ULONG(tooLong.size()), &nWritten));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(m_wts.Write(hChannel, reinterpret_cast<PCHAR>(tooLong.data()), 0, &nWritten));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    for (Bytes block : blocks) {
        EXPECT_TRUE(m_wts.Write(hChannel, reinterpret_cast<PCHAR>(block.data()), ULONG(block.size()), &nWritten));
        EXPECT_EQ(nWritten, block.size());
    }
    m_client.Join();
    EXPECT_EQ(received, blocks) << "the refused writes sent nothing";
    EXPECT_TRUE(m_wts.Close(hChannel));
}

// However the client goes away, every later call on the handle answers
// ERROR_BROKEN_PIPE; only Close still works.
TEST_F(WtsApiTest, AClientThatIsGoneBreaksTheHandleForGood)
{
    const std::vector<std::pair<const char*, std::function<void(int)>>> endings = {
        {"closes", [](int) {}},
        {"answers a read with no chunk",
         [](int nFd) {
             Expect(nFd, EFrame::Read);
             vrdp::SendFrame(nFd, Frame(EFrame::Accepted), 5000);
         }},
        {"sends a chunk over 1600 bytes",
         [](int nFd) {
             Expect(nFd, EFrame::Read);
             vrdp::SendFrame(nFd, Frame(EFrame::Chunk, 1601, CHANNEL_FLAG_ONLY, Bytes(1601)), 5000);
         }},
        {"announces a frame over the limit",
         [](int nFd) {
             Expect(nFd, EFrame::Read);
             const Bytes header = {6, 0, 0, 0, 1, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0x40, 0};  // 4 MiB + 1
             send(nFd, header.data(), header.size(), MSG_NOSIGNAL);
         }},
    };
    for (const auto& [pszCase, ending] : endings) {
        SCOPED_TRACE(pszCase);
        const HANDLE hChannel = OpenAccepted(0, ending);
        char buffer[1608];
        ULONG nCount = 0;
        for (int i = 0; i < 2; ++i) {
            SetLastError(ERROR_SUCCESS);
            EXPECT_FALSE(m_wts.Read(hChannel, 1000, buffer, sizeof buffer, &nCount));
            EXPECT_EQ(GetLastError(), DWORD(ERROR_BROKEN_PIPE));
            SetLastError(ERROR_SUCCESS);
            EXPECT_FALSE(m_wts.Write(hChannel, buffer, 10, &nCount));
            EXPECT_EQ(GetLastError(), DWORD(ERROR_BROKEN_PIPE));
        }
        m_client.Join();
        EXPECT_TRUE(m_wts.Close(hChannel));
    }
}

// Close ends a read under way on another thread at once: the chunk the
// client sends after it never reaches that read. After Close the handle is
// stale, like one never given out.
TEST_F(WtsApiTest, CloseEndsAReadUnderWayAndMakesTheHandleStale)
{
    std::mutex lock;
    std::condition_variable changed;
    bool bReadArrived = false;
    bool bClosed = false;
    const HANDLE hChannel = OpenAccepted(0, [&](int nFd) {
        Expect(nFd, EFrame::Read);
        std::unique_lock<std::mutex> guard(lock);
        bReadArrived = true;
        changed.notify_all();
        changed.wait_for(guard, std::chrono::seconds(20), [&] { return bClosed; });
        vrdp::SendFrame(nFd, Frame(EFrame::Chunk, 1, CHANNEL_FLAG_ONLY, Bytes(1)), 1000);
    });
    SetLastError(ERROR_SUCCESS);
    PVOID pBuffer = nullptr;
    DWORD nBytes = 0;
    EXPECT_FALSE(m_wts.Query(hChannel, WTSVirtualClientData, &pBuffer, &nBytes));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));

    BOOL bRead = TRUE;
    DWORD nReadError = 0;
    std::thread reader([&] {
        char buffer[1608];
        ULONG nRead = 0;
        bRead = m_wts.Read(hChannel, 10000, buffer, sizeof buffer, &nRead);
        nReadError = GetLastError();
    });
    {
        std::unique_lock<std::mutex> guard(lock);
        ASSERT_TRUE(changed.wait_for(guard, std::chrono::seconds(20), [&] { return bReadArrived; }));
    }
    EXPECT_TRUE(m_wts.Close(hChannel));
    {
        std::lock_guard<std::mutex> guard(lock);
        bClosed = true;
        changed.notify_all();
    }
    reader.join();
    m_client.Join();
    EXPECT_FALSE(bRead);
    EXPECT_EQ(nReadError, DWORD(ERROR_BROKEN_PIPE));

    const HANDLE hForeign = reinterpret_cast<HANDLE>(0x104);
    for (const HANDLE hStale : {hChannel, hForeign}) {
        char buffer[16];
        ULONG nCount = 0;
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(m_wts.Read(hStale, 0, buffer, sizeof buffer, &nCount));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(m_wts.Write(hStale, buffer, 1, &nCount));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(m_wts.Close(hStale));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    }
}

}  // namespace
