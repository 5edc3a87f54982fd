// Remote capture across real processes: vesk-rdp-client as the user's client
// machine, with the library as its add-in and the simulated scanner, and a
// child process in the session that loads the library and captures.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/TestMachine.h"
#include "veskSensor.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kMode = "VESK_TEST_REMOTE_MODE";
std::atomic<uint32_t> g_nLast{0};
std::atomic<bool> g_bChannelError{false};
std::atomic<int> g_nImages{0};

uint32_t VESK_CALLBACK OnEvent(uintptr_t, uint32_t nEvent, uintptr_t, uintptr_t)
{
    if (nEvent == FS_EVENT_IMAGE)
        ++g_nImages;
    if (nEvent == FS_EVENT_CHANNEL_ERROR)
        g_bChannelError = true;
    g_nLast = nEvent;
    return 0;
}

bool WaitFor(uint32_t nEvent, int nMilliseconds)
{
    for (int i = 0; i < nMilliseconds / 10 && g_nLast != nEvent; ++i)
        usleep(10000);
    return g_nLast == nEvent;
}

// In the session: "single" captures one image; "stop" stops while the client
// waits for a finger and expects the end within a second; "orphan" waits for
// kills the client and expects the capture to end by itself.
TEST(RemoteChild, DISABLED_CaptureInTheSession)
{
    const std::string sMode = std::getenv(kMode);
    void* library = dlopen(VESK_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto pInit = reinterpret_cast<decltype(&InitFingerscannerData)>(dlsym(library, "InitFingerscannerData"));
    const auto pStart = reinterpret_cast<decltype(&GetImageFromFingerscanner)>(dlsym(library, "GetImageFromFingerscanner"));
    const auto pStop = reinterpret_cast<decltype(&StopFingerscanner)>(dlsym(library, "StopFingerscanner"));
    FingerscannerData request;
    pInit(&request, &OnEvent, 0, 0, 0, 1, 0, sMode == "single" ? 1 : 0);
    ASSERT_EQ(pStart(&request), 0u);
    if (sMode == "single") {
        EXPECT_TRUE(WaitFor(FS_EVENT_CAPTURE_ENDED, 10000));
        EXPECT_EQ(g_nImages, 1);
        return;
    }
    ASSERT_TRUE(WaitFor(FS_EVENT_READY_VESKBIT, 10000)) << "the client's prompt";
    if (sMode == "stop") {
        const Clock::time_point tStop = Clock::now();
        pStop();
        EXPECT_TRUE(WaitFor(FS_EVENT_CAPTURE_ENDED, 1000));
        EXPECT_LT(Clock::now() - tStop, std::chrono::seconds(1));
        return;
    }
    kill(std::atoi(std::getenv("VESK_TEST_CLIENT_PID")), SIGKILL);
    EXPECT_TRUE(WaitFor(FS_EVENT_CAPTURE_ENDED, 15000)) << "a client that is gone ends the capture";
    EXPECT_TRUE(g_bChannelError);
}

class RemoteCapture : public testkit::MachineTest {
protected:
    RemoteCapture()
    {
        namespace fs = std::filesystem;
        const std::string sBin = fs::path(VESK_LIBRARY_PATH).parent_path().string();
        for (const char* folder : {"registry", "system32", "objects"})
            fs::create_directories(Client(folder));
        m_env = {{"VESK_REGISTRY_DIR", Client("registry")}, {"VESK_SYSTEM_DIR", Client("system32")},
                 {"VESK_OBJECTS_DIR", Client("objects")}};
        // Register the add-in on the client machine and install it there.
        EXPECT_EQ(RunOnClient({VESK_ADMIN_EXE, "sim", "veskbit", "delay", "never"}), 0);
        EXPECT_EQ(RunOnClient({VESK_CAPTURE_EXE, "detect"}), 0);
        fs::create_symlink(VESK_LIBRARY_PATH, Client("system32/libveskSensorx64.so"));
        fs::create_symlink(sBin + "/libveskbit2.so", Client("system32/libveskbit2.so"));
    }
    ~RemoteCapture() override
    {
        if (m_nClient > 0) {
            kill(m_nClient, SIGKILL);
            waitpid(m_nClient, nullptr, 0);
        }
    }

    std::string Client(const std::string& sPath) const { return m_machine.Path("client/" + sPath); }
    std::string Socket() const { return m_machine.Path("rdp.sock"); }

    int RunOnClient(const std::vector<std::string>& argv) { return testkit::RunProcess(argv, m_env).exitCode; }

    void StartClient()
    {
        std::vector<std::string> env;
        for (const auto& [name, value] : m_env)
            env.push_back(name + "=" + value);
        for (char** p = environ; *p; ++p)
            if (std::string(*p).rfind("VESK_", 0) != 0)
                env.push_back(*p);
        std::vector<char*> envp, argv;
        for (std::string& s : env)
            envp.push_back(s.data());
        envp.push_back(nullptr);
        std::string sExe = VESK_RDP_CLIENT_EXE, sFlag = "--socket", sSocket = Socket();
        argv = {sExe.data(), sFlag.data(), sSocket.data(), nullptr};
        ASSERT_EQ(posix_spawn(&m_nClient, sExe.c_str(), nullptr, nullptr, argv.data(), envp.data()), 0);
        for (int i = 0; i < 100 && !std::filesystem::exists(Socket()); ++i)
            usleep(20000);
        ASSERT_TRUE(std::filesystem::exists(Socket()));
    }

    testkit::ProcessResult Session(const char* mode, std::vector<std::pair<std::string, std::string>> env = {})
    {
        env.insert(env.end(), {{kMode, mode}, {"VESK_RDP_SESSION", Socket()}});
        return testkit::RunProcess({testkit::SelfPath(), "--gtest_also_run_disabled_tests",
                                    "--gtest_filter=RemoteChild.DISABLED_CaptureInTheSession"},
                                   env);
    }
    std::vector<std::pair<std::string, std::string>> m_env;
    pid_t m_nClient = -1;
};

TEST_F(RemoteCapture, SingleImageAndAStopWhileTheClientWaits)
{
    EXPECT_EQ(RunOnClient({VESK_ADMIN_EXE, "sim", "veskbit", "delay", "100"}), 0);
    StartClient();
    const auto single = Session("single");
    EXPECT_EQ(single.exitCode, 0) << single.out << single.err;
    EXPECT_EQ(RunOnClient({VESK_ADMIN_EXE, "sim", "veskbit", "delay", "never"}), 0);
    const auto stop = Session("stop");
    EXPECT_EQ(stop.exitCode, 0) << stop.out << stop.err;
    kill(m_nClient, SIGINT);
    int nStatus = -1;
    waitpid(m_nClient, &nStatus, 0);
    m_nClient = -1;
    EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0);
}

TEST_F(RemoteCapture, AClientKilledDuringTheCaptureEndsIt)
{
    StartClient();
    const auto orphan = Session("orphan", {{"VESK_TEST_CLIENT_PID", std::to_string(m_nClient)}});
    EXPECT_EQ(orphan.exitCode, 0) << orphan.out << orphan.err;
}

}  // namespace
