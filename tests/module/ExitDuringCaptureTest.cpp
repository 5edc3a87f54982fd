// A caller that ends, or unloads the library, while a capture runs: the
// process leaves main with status 0 in every order, 20 times each. Every run
// is a child process of its own that loads the product.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/TestMachine.h"
#include "veskSensor.h"

namespace {

constexpr const char* kMode = "VESK_TEST_EXIT_MODE";
std::atomic<bool> g_bWaiting{false};  // trivially destructible: safe at exit

uint32_t VESK_CALLBACK OnEvent(uintptr_t, uint32_t nEvent, uintptr_t, uintptr_t)
{
    if (nEvent == FS_EVENT_READY_VESKBIT)
        g_bWaiting = true;
    return 0;
}

// Starts a capture that waits for a finger, then does what the mode says
// and returns: gtest's main returns right after.
TEST(ExitChild, DISABLED_LeaveDuringCapture)
{
    const std::string sMode = std::getenv(kMode);
    void* library = dlopen(VESK_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    if (sMode == "load")
        return;
    const auto pInit = reinterpret_cast<decltype(&InitFingerscannerData)>(dlsym(library, "InitFingerscannerData"));
    const auto pStart =
        reinterpret_cast<decltype(&GetImageFromFingerscanner)>(dlsym(library, "GetImageFromFingerscanner"));
    const auto pStop = reinterpret_cast<decltype(&StopFingerscanner)>(dlsym(library, "StopFingerscanner"));
    FingerscannerData request;
    ASSERT_EQ(pInit(&request, &OnEvent, 0, 0, 0, 1, 0, 0), 1u);
    ASSERT_EQ(pStart(&request), 0u);
    for (int i = 0; i < 500 && !g_bWaiting; ++i)
        usleep(10000);
    ASSERT_TRUE(g_bWaiting);
    usleep(60000);  // the attempt is polling now
    if (sMode.find("stop") != std::string::npos)
        pStop();
    if (sMode.find("unload") != std::string::npos)
        dlclose(library);
}

TEST(ExitDuringCapture, EveryOrderEndsTheProcessCleanly)
{
    const testkit::CScratchMachine machine;
    const auto admin = testkit::RunProcess({VESK_ADMIN_EXE, "sim", "veskbit", "delay", "never"});
    ASSERT_EQ(admin.exitCode, 0) << admin.err;
    for (const char* mode : {"exit", "stop", "stop-unload", "unload"}) {
        for (int nRun = 0; nRun < 20; ++nRun) {
            const auto result = testkit::RunProcess(
                {testkit::SelfPath(), "--gtest_also_run_disabled_tests",
                 "--gtest_filter=ExitChild.DISABLED_LeaveDuringCapture"},
                {{kMode, mode}});
            ASSERT_EQ(result.exitCode, 0) << mode << ", run " << nRun << "\n" << result.out << result.err;
        }
    }
}

// Loading registers the remote add-in for the user. Once it is registered, a
// writer stalled while holding the user's hive lock must not hold up the
// load: it used to wait for that lock for ever.
TEST(LoadDuringStalledWrite, TheRegisteredAddinNeedsNoLock)
{
    const testkit::CScratchMachine machine;
    const std::vector<std::string> child = {"/usr/bin/timeout", "20", testkit::SelfPath(),
                                            "--gtest_also_run_disabled_tests",
                                            "--gtest_filter=ExitChild.DISABLED_LeaveDuringCapture"};
    ASSERT_EQ(testkit::RunProcess(child, {{kMode, "load"}}).exitCode, 0);
    const int lock = open((machine.RegistryDir() + "/HKEY_CURRENT_USER.reg.lock").c_str(),
                          O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    const auto result =
        testkit::RunProcess(child, {{kMode, "load"}, {"VESK_REGISTRY_LOCK_MS", "60000"}});
    close(lock);
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
}

}  // namespace
