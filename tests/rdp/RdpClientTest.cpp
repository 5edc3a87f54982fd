// vesk-rdp-client as a child process on a scratch machine, with the test
// add-in (addin/TestAddin.cpp) registered for the current user and linked
// into the system folder as an installer would copy it there; the session
// side is libWtsApi32 in this process.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "RdpTestKit.h"
#include "common/TestMachine.h"
#include "pal/text/text.h"

namespace fs = std::filesystem;

namespace {

using rdptest::Bytes;

char g_szChannel[] = "VTEST";

bool StartsWith(const std::string& sText, const char* pszStart) { return sText.rfind(pszStart, 0) == 0; }

class RdpClientTest : public testkit::MachineTest {
protected:
    RdpClientTest()
    {
        fs::create_symlink(VESK_TEST_ADDIN_PATH, m_machine.SystemDir() + "/libveskTestAddin.so");
        testkit::SetValue(HKEY_CURRENT_USER, u"Software\\Microsoft\\Terminal Server Client\\Default\\AddIns\\veskTest",
                          u"Name", REG_SZ, testkit::Sz(pal::FromUtf8(m_machine.SystemDir()) + u"\\veskTestAddin.dll"));
        setenv("VESK_RDP_TEST_LOG", Path("addin.log").c_str(), 1);
        setenv("VESK_RDP_SESSION", Socket().c_str(), 1);
    }

    std::string Socket() const { return Path("rdp.sock"); }

    // Reads one block written by the add-in, chunk by chunk, each behind its
    // header; answers the chunks' headers.
    std::vector<CHANNEL_PDU_HEADER> ReadBlock(HANDLE hChannel, Bytes& block)
    {
        std::vector<CHANNEL_PDU_HEADER> headers;
        block.clear();
        for (bool bLast = false; !bLast;) {
            char buffer[8 + CHANNEL_CHUNK_LENGTH];
            ULONG nRead = 0;
            if (!m_wts.Read(hChannel, 10000, buffer, sizeof buffer, &nRead) || nRead < 8) {
                ADD_FAILURE() << "read failed: " << GetLastError();
                return headers;
            }
            CHANNEL_PDU_HEADER header{};
            std::memcpy(&header, buffer, sizeof header);
            headers.push_back(header);
            block.insert(block.end(), buffer + 8, buffer + nRead);
            bLast = (header.flags & CHANNEL_FLAG_LAST) != 0;
        }
        return headers;
    }

    rdptest::CWtsApi m_wts;
};

// A session's block reaches the add-in in chunks of at most 1600 bytes with
// the total length and FIRST/LAST flags; the add-in's write of it (from its
// own thread) comes back to the session the same way, behind the headers,
// and WRITE_COMPLETE follows it. Every other event comes on the one channel
// thread, in the order of a real client, and Ctrl-C ends the run with
// DISCONNECTED and TERMINATED, status 0 and the socket file removed.
TEST_F(RdpClientTest, BlocksTravelBothWaysInChunksWithEveryEventOnTheChannelThread)
{
    rdptest::CChild client({VESK_RDP_CLIENT_EXE, "--socket", Socket()}, Path("client"));
    ASSERT_TRUE(rdptest::WaitForText(Path("client.out"), "listening on")) << testkit::ReadFile(Path("client.err"));
    const HANDLE hChannel = m_wts.Open(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, g_szChannel);
    ASSERT_NE(hChannel, nullptr) << GetLastError();
    struct Row {
        size_t nSize;
        std::vector<uint32_t> flags;  // of chunks of 1600 bytes but the last
    };
    const Row rows[] = {
        {4000, {CHANNEL_FLAG_FIRST, CHANNEL_FLAG_MIDDLE, CHANNEL_FLAG_LAST}},
        {3200, {CHANNEL_FLAG_FIRST, CHANNEL_FLAG_LAST}},
        {1, {CHANNEL_FLAG_ONLY}},
    };
    std::vector<std::string> expected = {
        "entry size=" + std::to_string(sizeof(CHANNEL_ENTRY_POINTS)) + " version=1",
        "init rc=0 handle-nonnull=1",
        "event INITIALIZED handle-ok=1 data-null=1",
        "event CONNECTED handle-ok=1 data-null=1",
        "open rc=0 handle-nonzero=1",
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.nSize);
        Bytes block = rdptest::Pattern(row.nSize, uint8_t(row.nSize));
        ULONG nWritten = 0;
        EXPECT_TRUE(m_wts.Write(hChannel, reinterpret_cast<PCHAR>(block.data()), ULONG(block.size()), &nWritten));
        Bytes echoed;
        const std::vector<CHANNEL_PDU_HEADER> headers = ReadBlock(hChannel, echoed);
        EXPECT_EQ(echoed, block);
        ASSERT_EQ(headers.size(), row.flags.size());
        for (size_t i = 0; i < headers.size(); ++i) {
            EXPECT_TRUE(headers[i].length == row.nSize && headers[i].flags == row.flags[i]);
            expected.push_back("data handle-ok=1 len=" + std::to_string(std::min<size_t>(1600, row.nSize - 1600 * i)) +
                               " total=" + std::to_string(row.nSize) + " flags=" + std::to_string(row.flags[i]));
        }
    }
    EXPECT_TRUE(m_wts.Close(hChannel));
    client.Signal(SIGINT);
    ASSERT_EQ(client.Wait(std::chrono::seconds(30)), 0);
    EXPECT_FALSE(fs::exists(Socket()));
    expected.push_back("event DISCONNECTED handle-ok=1 data-null=1");
    expected.push_back("event TERMINATED handle-ok=1 data-null=1");

    // The add-in's log: "T<thread id> text" lines.
    std::istringstream log(testkit::ReadFile(Path("addin.log")));
    std::vector<std::string> texts, onChannelThread;
    std::string sChannelThread;
    for (std::string sLine; std::getline(log, sLine);) {
        const std::string sThread = sLine.substr(0, sLine.find(' ')), sText = sLine.substr(sLine.find(' ') + 1);
        if (sChannelThread.empty())
            sChannelThread = sThread;
        const bool bWriter = StartsWith(sText, "writ") && !StartsWith(sText, "write-complete");
        EXPECT_EQ(sThread == sChannelThread, !bWriter) << sText;
        if (!StartsWith(sText, "writ"))
            onChannelThread.push_back(sText);
        texts.push_back(sText);
    }
    EXPECT_EQ(onChannelThread, expected);
    for (const std::string sUser : {"1", "2", "3"}) {
        SCOPED_TRACE(sUser);
        const auto writing = std::find(texts.begin(), texts.end(), "writing user=" + sUser);
        EXPECT_NE(std::find(writing, texts.end(), "write-complete user=" + sUser), texts.end());
    }
}

TEST(RdpClientToolTest, AMissingSocketIsOneErrorLineAndStatus2)
{
    const testkit::ProcessResult result = testkit::RunProcess({VESK_RDP_CLIENT_EXE});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.substr(0, 7), "ERROR: ");
    EXPECT_NE(result.err.find("missing --socket PATH"), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
}

}  // namespace
