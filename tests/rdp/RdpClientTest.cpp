// vesk-rdp-client as a child process on a scratch machine, with the test
// add-in (addin/TestAddin.cpp) registered for the current user and linked
// into the system folder as an installer would copy it there; the session
// side is libWtsApi32 in this process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>

#include "RdpTestKit.h"
#include "common/TestMachine.h"
#include "pal/text/text.h"

namespace fs = std::filesystem;

namespace {

using rdptest::Bytes;

const std::u16string kAddins = u"Software\\Microsoft\\Terminal Server Client\\Default\\AddIns\\";
char g_szChannel[] = "VTEST";

void Register(const std::u16string& sKey, const std::u16string& sPath)
{
    testkit::SetValue(HKEY_CURRENT_USER, kAddins + sKey, u"Name", REG_SZ, testkit::Sz(sPath));
}

// The test add-in by the Windows path the registration names.
std::u16string InstallTestAddin(const testkit::CScratchMachine& machine)
{
    fs::create_symlink(VESK_TEST_ADDIN_PATH, machine.SystemDir() + "/libveskTestAddin.so");
    return pal::FromUtf8(machine.SystemDir()) + u"\\veskTestAddin.dll";
}

struct SLogLine {
    std::string sThread;
    std::string sText;
};

// The add-in's log: "T<thread id> text" lines.
std::vector<SLogLine> ReadLog(const std::string& sPath)
{
    std::vector<SLogLine> lines;
    std::istringstream text(testkit::ReadFile(sPath));
    for (std::string sLine; std::getline(text, sLine);) {
        const size_t nSpace = sLine.find(' ');
        lines.push_back({sLine.substr(0, nSpace), sLine.substr(nSpace + 1)});
    }
    return lines;
}

size_t IndexOf(const std::vector<SLogLine>& lines, const std::string& sText)
{
    const auto it = std::find_if(lines.begin(), lines.end(), [&](const SLogLine& line) { return line.sText == sText; });
    return static_cast<size_t>(it - lines.begin());
}

bool StartsWith(const std::string& sText, const char* pszStart) { return sText.rfind(pszStart, 0) == 0; }

class RdpClientTest : public testkit::MachineTest {
protected:
    RdpClientTest() : m_sAddin(InstallTestAddin(m_machine))
    {
        setenv("VESK_RDP_TEST_LOG", Log().c_str(), 1);
        setenv("VESK_RDP_SESSION", Socket().c_str(), 1);
    }

    std::string Socket() const { return Path("rdp.sock"); }
    std::string Log() const { return Path("addin.log"); }
    std::unique_ptr<rdptest::CChild> Start(const std::string& sStem = "client")
    {
        auto child = std::make_unique<rdptest::CChild>(
            std::vector<std::string>{VESK_RDP_CLIENT_EXE, "--socket", Socket()}, Path(sStem));
        EXPECT_TRUE(rdptest::WaitForText(Path(sStem + ".out"), "listening on")) << testkit::ReadFile(Path(sStem + ".err"));
        return child;
    }
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
    HANDLE Open()
    {
        const HANDLE hChannel = m_wts.Open(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, g_szChannel);
        EXPECT_NE(hChannel, nullptr) << GetLastError();
        return hChannel;
    }
    void Write(HANDLE hChannel, Bytes block)
    {
        ULONG nWritten = 0;
        EXPECT_TRUE(m_wts.Write(hChannel, reinterpret_cast<PCHAR>(block.data()), ULONG(block.size()), &nWritten));
    }

    const std::u16string m_sAddin;
    rdptest::CWtsApi m_wts;
};

// A session's block reaches the add-in in chunks of at most 1600 bytes with
// the total length and FIRST/LAST flags; the add-in's write of it (from its
// own thread) comes back to the session the same way, behind the headers.
// Every event comes on the one channel thread, in the order of a real
// client, and Ctrl-C ends the run with DISCONNECTED and TERMINATED.
TEST_F(RdpClientTest, BlocksTravelBothWaysInChunksWithEveryEventOnTheChannelThread)
{
    Register(u"veskTest", m_sAddin);
    auto client = Start();
    const HANDLE hChannel = Open();
    struct Row {
        size_t nSize;
        std::vector<uint32_t> flags;  // of chunks of 1600 bytes but the last
    };
    const Row rows[] = {
        {4000, {CHANNEL_FLAG_FIRST, CHANNEL_FLAG_MIDDLE, CHANNEL_FLAG_LAST}},
        {3200, {CHANNEL_FLAG_FIRST, CHANNEL_FLAG_LAST}},
        {1, {CHANNEL_FLAG_ONLY}},
    };
    std::vector<std::string> expectedData;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.nSize);
        const Bytes block = rdptest::Pattern(row.nSize, uint8_t(row.nSize));
        Write(hChannel, block);
        Bytes echoed;
        const std::vector<CHANNEL_PDU_HEADER> headers = ReadBlock(hChannel, echoed);
        EXPECT_EQ(echoed, block);
        ASSERT_EQ(headers.size(), row.flags.size());
        for (size_t i = 0; i < headers.size(); ++i) {
            EXPECT_TRUE(headers[i].length == row.nSize && headers[i].flags == row.flags[i]);
            expectedData.push_back("data handle-ok=1 len=" + std::to_string(std::min<size_t>(1600, row.nSize - 1600 * i)) +
                                   " total=" + std::to_string(row.nSize) + " flags=" + std::to_string(row.flags[i]));
        }
    }
    EXPECT_TRUE(m_wts.Close(hChannel));
    client->Signal(SIGINT);
    ASSERT_EQ(client->Wait(std::chrono::seconds(30)), 0);
    EXPECT_NE(testkit::ReadFile(Path("client.out")).find("shutting down: Ctrl-C (SIGINT)"), std::string::npos);

    const std::vector<SLogLine> log = ReadLog(Log());
    ASSERT_FALSE(log.empty());
    const std::string sChannelThread = log.front().sThread;
    std::vector<std::string> onChannelThread;
    for (const SLogLine& line : log) {
        const bool bWriter = StartsWith(line.sText, "writ") && !StartsWith(line.sText, "write-complete");
        EXPECT_EQ(line.sThread == sChannelThread, !bWriter) << line.sText;
        if (!bWriter && !StartsWith(line.sText, "write-complete"))
            onChannelThread.push_back(line.sText);
    }
    std::vector<std::string> expected = {  // the entry points' refusals among them
        "entry size=" + std::to_string(sizeof(CHANNEL_ENTRY_POINTS)) + " version=1",
        "init-bad-name rc=6",
        "init-too-many rc=5",
        "init rc=0 options=80200000 handle-nonnull=1",
        "init-again rc=1",
        "event INITIALIZED handle-ok=1 data-null=1",
        "init-outside-entry rc=15",
        "event CONNECTED handle-ok=1 data-null=1",
        "open-unknown rc=13",
        "open rc=0 handle-nonzero=1",
        "open-again rc=14",
    };
    expected.insert(expected.end(), expectedData.begin(), expectedData.end());
    expected.push_back("event DISCONNECTED handle-ok=1 data-null=1");
    expected.push_back("event TERMINATED handle-ok=1 data-null=1");
    EXPECT_EQ(onChannelThread, expected);

    EXPECT_LT(IndexOf(log, "write-null rc=16 write-zero rc=17 write-bad-handle rc=7 write-over-16-MiB rc=12"), log.size());
    for (const std::string sUser : {"1", "2", "3"}) {
        SCOPED_TRACE(sUser);
        const size_t nComplete = IndexOf(log, "write-complete user=" + sUser);
        EXPECT_LT(nComplete, log.size());
        EXPECT_LT(IndexOf(log, "writing user=" + sUser), nComplete);
    }
}

// After pVirtualChannelClose the add-in's writes answer CHANNEL_RC_NOT_OPEN
// and the session's blocks are dropped; SIGTERM ends the run like Ctrl-C.
// The socket is only this user's and refused to a second client while one
// listens on it; one left by a client that ended is replaced.
TEST_F(RdpClientTest, AnAddinThatClosesItsChannelGetsNoMoreData)
{
    Register(u"veskTest", m_sAddin);
    const std::vector<std::string> second = {VESK_RDP_CLIENT_EXE, "--socket", Socket(), "--seconds", "1"};
    {
        auto client = Start();
        struct stat info {};
        ASSERT_EQ(stat(Socket().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        const testkit::ProcessResult refused = testkit::RunProcess(second);
        EXPECT_EQ(refused.exitCode, 3);
        EXPECT_NE(refused.err.find("is in use by a running client"), std::string::npos) << refused.err;

        const HANDLE hChannel = Open();
        Write(hChannel, {'c', 'l', 'o', 's', 'e'});
        ASSERT_TRUE(rdptest::WaitForText(Log(), "write-after-close rc=10"));
        Write(hChannel, Bytes(7, 1));
        EXPECT_TRUE(rdptest::WaitForText(Path("client.out"), "is not open: 7 bytes from the session dropped"));
        m_wts.Close(hChannel);
        client->Signal(SIGTERM);
        EXPECT_EQ(client->Wait(std::chrono::seconds(30)), 0);
        EXPECT_NE(testkit::ReadFile(Path("client.out")).find("shutting down: SIGTERM"), std::string::npos);
        EXPECT_FALSE(fs::exists(Socket()));
    }
    const vrdp::CFileDescriptor stale(socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, Socket().c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(stale.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const testkit::ProcessResult replaced = testkit::RunProcess(second);
    EXPECT_EQ(replaced.exitCode, 0) << replaced.err;
}

TEST(RdpClientToolTest, BadArgumentsAreOneLineAndStatus2)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
        {{}, "missing --socket PATH"},
        {{"--socket", "s", "--seconds", "1e3"}, "'--seconds' needs a whole number from 1"},
    };
    for (const auto& [args, sMessage] : rows) {
        std::vector<std::string> argv = {VESK_RDP_CLIENT_EXE};
        argv.insert(argv.end(), args.begin(), args.end());
        const testkit::ProcessResult result = testkit::RunProcess(argv);
        SCOPED_TRACE(result.err);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(StartsWith(result.err, "ERROR: ") && result.err.find(sMessage) != std::string::npos);
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
    }
}

// An add-in that cannot be loaded or refuses is skipped with a line on
// standard error; the run fails (status 1) only when none is left.
TEST(RdpClientToolTest, UnusableAddinsAreSkipped)
{
    for (const char* pszGood : {"", "refuse", "serve"}) {
        SCOPED_TRACE(pszGood);
        const bool bServes = std::strcmp(pszGood, "serve") == 0;
        const testkit::CScratchMachine machine;
        const std::u16string sGood = InstallTestAddin(machine);
        Register(u"absent", sGood.substr(0, sGood.rfind(u'\\')) + u"\\absent.dll");
        if (*pszGood)
            Register(u"veskTest", sGood);
        const std::string sSocket = machine.Path("rdp.sock");
        const testkit::ProcessResult result = testkit::RunProcess(
            {VESK_RDP_CLIENT_EXE, "--socket", sSocket, "--seconds", "1"}, {{"VESK_RDP_TEST_MODE", pszGood}});
        EXPECT_EQ(result.exitCode, bServes ? 0 : 1) << result.out;
        EXPECT_NE(result.err.find("absent.dll) cannot be loaded (error 126)"), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find("answered FALSE from VirtualChannelEntry") != std::string::npos, !bServes && *pszGood);
        EXPECT_FALSE(fs::exists(sSocket));
        EXPECT_EQ(result.out.find("veskTestAddin.dll) loaded: channel(s) VTEST") != std::string::npos, bServes);
    }
}

}  // namespace
