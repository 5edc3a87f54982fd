// libWtsApi32.so against a scripted client: the Win32 codes the caller's
// GetLastError sees (through LoadLibraryW and GetProcAddress, as the library
// calls it, so that the last error has to cross from the library's copy of
// pal/).
#include <gtest/gtest.h>

#include "RdpTestKit.h"
#include "common/TestMachine.h"
#include "sim/rdp/WtsErrors.h"

namespace {

using rdptest::Bytes;
using rdptest::Expect;
using rdptest::Send;
using vrdp::EFrame;

char g_szName[] = "VTEST";

class WtsApiTest : public testkit::MachineTest {
protected:
    std::string Socket() const { return Path("client.sock"); }

    rdptest::CWtsApi m_wts;
    rdptest::CScriptedClient m_client{Socket()};
};

// One row per code. Rows with bOpen run their call on a channel the client
// accepted before running its script; the others call without one.
TEST_F(WtsApiTest, EveryFailureReachesTheCallerAsItsWin32Code)
{
    char buffer[1608];
    ULONG nCount = 99;
    const auto open = [this](DWORD nSession) {
        return [this, nSession](HANDLE) { return m_wts.Open(WTS_CURRENT_SERVER_HANDLE, nSession, g_szName) != nullptr; };
    };
    const auto read = [&](DWORD nWait, ULONG nSize) {
        return [&, nWait, nSize](HANDLE hChannel) { return m_wts.Read(hChannel, nWait, buffer, nSize, &nCount); };
    };
    const auto answer = [](EFrame eType, uint32_t nA, Bytes data) {
        return [=](int nFd) {
            Expect(nFd, EFrame::Read);
            Send(nFd, eType, nA, CHANNEL_FLAG_ONLY, data);
        };
    };
    struct Row {
        const char* pszCase;
        DWORD nCode;
        std::string sSocket;  // "" when not in a remote session
        bool bOpen;
        std::function<void(int)> client;
        std::function<BOOL(HANDLE)> call;
    };
    const Row rows[] = {
        {"another session", ERROR_INVALID_PARAMETER, Socket(), false, nullptr, open(2)},
        {"no remote session", ERROR_FILE_NOT_FOUND, "", false, nullptr, open(WTS_CURRENT_SESSION)},
        {"the client refuses", ERROR_ACCESS_DENIED, Socket(), false,
         [](int nFd) {
             Expect(nFd, EFrame::Hello);
             Send(nFd, EFrame::Refused, ERROR_ACCESS_DENIED);
         },
         open(WTS_CURRENT_SESSION)},
        {"a chunk over the buffer", ERROR_INSUFFICIENT_BUFFER, Socket(), true,
         answer(EFrame::Chunk, 1600, Bytes(1600)), read(5000, 1599)},
        {"nothing within the wait", ERROR_TIMEOUT, Socket(), true, answer(EFrame::Nothing, 0, {}), read(250, 1600)},
        {"the client goes away", ERROR_BROKEN_PIPE, Socket(), true, [](int) {}, read(1000, sizeof buffer)},
        {"a query", ERROR_NOT_SUPPORTED, Socket(), true, [](int) {},
         [this](HANDLE hChannel) {
             PVOID pData = nullptr;
             DWORD nBytes = 0;
             return m_wts.Query(hChannel, WTSVirtualClientData, &pData, &nBytes);
         }},
        {"a handle never given out", ERROR_INVALID_HANDLE, Socket(), false, nullptr,
         [&](HANDLE) { return m_wts.Read(reinterpret_cast<HANDLE>(0x104), 0, buffer, 16, &nCount); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pszCase);
        setenv("VESK_RDP_SESSION", row.sSocket.c_str(), 1);
        if (row.client) {
            m_client.Serve([&row](int nFd) {
                if (row.bOpen) {
                    Expect(nFd, EFrame::Hello);
                    Send(nFd, EFrame::Accepted);
                }
                row.client(nFd);
            });
        }
        const HANDLE hChannel = row.bOpen ? m_wts.Open(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, g_szName) : nullptr;
        EXPECT_EQ(hChannel != nullptr, row.bOpen) << GetLastError();
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(row.call(hChannel));
        EXPECT_EQ(GetLastError(), row.nCode);
        m_client.Join();
        EXPECT_TRUE(!hChannel || m_wts.Close(hChannel));
    }
}

}  // namespace
