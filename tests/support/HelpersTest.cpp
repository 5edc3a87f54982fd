// File-system, OS and module helpers.
#include <gtest/gtest.h>
#include <pthread.h>

#include <filesystem>
#include <thread>

#include "LogCapture.h"
#include "common/TestMachine.h"
#include "support/CFsHelper.h"
#include "support/CHModule.h"
#include "support/CLibraryFunction.h"
#include "support/CWinOS.h"

namespace {

WString Wide(const std::string& text) { return pal::FromUtf8(text); }

TEST(FsHelper, PathExists)
{
    testkit::CScratchMachine machine;
    testkit::WriteFile(machine.Path("file.txt"), "x");
    EXPECT_TRUE(CFsHelper::PathExists(Wide(machine.Path("file.txt"))));
    EXPECT_TRUE(CFsHelper::PathExists(Wide(machine.Root())));
    EXPECT_TRUE(CFsHelper::PathExists(Wide(machine.Root() + "\\system32")));
    EXPECT_FALSE(CFsHelper::PathExists(Wide(machine.Path("missing"))));
    EXPECT_FALSE(CFsHelper::PathExists(W("")));
}

TEST(FsHelper, FileVersionOfStampedLibraries)
{
    struct Case {
        const char* path;
        const char* padded;
        const char* plain;
    } const cases[] = {
        {VESK_VERSIONED_SAMPLE, "07.07.00.00060", "7.7.0.60"},
        {VESK_VERSIONED_PROGRAM, "10.02.300.65535", "10.2.300.65535"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        WString version;
        ASSERT_TRUE(CFsHelper::GetFileVersion(Wide(c.path), version, true));
        EXPECT_EQ(pal::ToUtf8(version), c.padded);
        ASSERT_TRUE(CFsHelper::GetFileVersion(Wide(c.path), version, false));
        EXPECT_EQ(pal::ToUtf8(version), c.plain);
    }
}

TEST(FsHelper, FileWithoutVersionLogsAWarning)
{
    testkit::CScratchMachine machine;
    testkit::WriteFile(machine.Path("plain.txt"), "no version here");
    logcapture::Start(2);
    WString version = W("stale");
    EXPECT_FALSE(CFsHelper::GetFileVersion(Wide(machine.Path("plain.txt")), version, true));
    EXPECT_TRUE(version.empty());
    EXPECT_FALSE(CFsHelper::GetFileVersion(W(""), version, true));
    const auto lines = logcapture::Lines();
    logcapture::Stop();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].level, 2);
    EXPECT_EQ(lines[0].text.rfind("CFsHelper::GetFileVersion(): GetFileVersionInfoSize(): Error: 0x", 0),
              0u);
    EXPECT_EQ(lines[0].text.size(), std::string("CFsHelper::GetFileVersion(): "
                                                 "GetFileVersionInfoSize(): Error: 0x00000000")
                                        .size());
}

// The answers are cached for the life of a process, so each machine kind is
// asked in a fresh child process.
TEST(WinOSChild, DISABLED_Print)
{
    std::printf("answers:%d%d\n", CWinOS::Is64BitSystem() ? 1 : 0, CWinOS::IsWow64() ? 1 : 0);
}

TEST(WinOS, SystemKinds)
{
    struct Case {
        const char* arch;
        const char* version;
        const char* missing;
        const char* answers;
    } const cases[] = {
        {"x86", "6.1", "", "answers:00"},
        {"x64", "6.1", "", "answers:11"},
        {"x64", "5.2", "", "answers:11"},
        {"ia64", "6.1", "", "answers:00"},
        {"x64", "5.0", "", "answers:00"},  // before XP nothing is asked
        {"x64", "6.1", "GetNativeSystemInfo", "answers:00"},
        {"x64", "6.1", "IsWow64Process", "answers:10"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.arch) + " " + c.version + " " + c.missing);
        const auto result = testkit::RunProcess(
            {testkit::SelfPath(), "--gtest_also_run_disabled_tests",
             "--gtest_filter=WinOSChild.DISABLED_Print"},
            {{"VESK_ARCH", c.arch}, {"VESK_WINVER", c.version}, {"VESK_KERNEL32_MISSING", c.missing}});
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_NE(result.out.find(c.answers), std::string::npos) << result.out;
    }
}

TEST(Session, RemoteWhenTheClientProtocolIsNotTheConsole)
{
    pal::ClearSetting("VESK_RDP_SESSION");
    unsetenv("VESK_RDP_SESSION");
    EXPECT_FALSE(IsRemoteSession());
    pal::SetSetting("VESK_RDP_SESSION", "/tmp/vesk-rdp.sock");
    EXPECT_TRUE(IsRemoteSession());
    pal::ClearSetting("VESK_RDP_SESSION");
    EXPECT_FALSE(IsRemoteSession());  // not cached
}

TEST(ThreadName, NamesTheThreadAndLeavesItRunning)
{
    std::string name;
    std::thread worker([&] {
        SetThreadName(GetCurrentThreadId(), "ExtractionThrd");
        char buffer[32] = {};
        pthread_getname_np(pthread_self(), buffer, sizeof buffer);
        name = buffer;
    });
    worker.join();
    EXPECT_EQ(name, "ExtractionThrd");
}

TEST(ModuleOwners, AttachReleasesThePreviousLibrary)
{
    const HMODULE first = LoadLibraryW(W("kernel32.dll"));
    ASSERT_NE(first, nullptr);
    testkit::CScratchMachine machine;
    std::filesystem::copy_file("/lib/x86_64-linux-gnu/libz.so.1", machine.SystemDir() + "/libvzip.so");
    const HMODULE zip = LoadLibraryW(W("vzip.dll"));
    ASSERT_NE(zip, nullptr);
    {
        CHModule holder;
        holder.Attach(zip);
        EXPECT_EQ(holder.Get(), zip);
        holder.Attach(nullptr);
        EXPECT_EQ(holder.Get(), nullptr);
        EXPECT_FALSE(FreeLibrary(zip));  // the holder freed it already
    }

    logcapture::Start(1);
    {
        CHModule holder;
        holder.Attach(reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x7ff1)));
    }
    const auto lines = logcapture::Lines();
    logcapture::Stop();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text.rfind("CHModule::_Release(): FreeLibrary() error: 0x", 0), 0u);
}

TEST(ModuleOwners, LibraryFunctionResolvesOrAnswersNull)
{
    CLibraryFunction present(W("kernel32.dll"), "GetNativeSystemInfo");
    EXPECT_NE(present.GetFunction(), nullptr);
    present.Release();
    EXPECT_EQ(present.GetFunction(), nullptr);

    CLibraryFunction missingFunction(W("kernel32.dll"), "NoSuchFunction");
    EXPECT_EQ(missingFunction.GetFunction(), nullptr);
    CLibraryFunction missingLibrary(W("nosuchlibrary.dll"), "Anything");
    EXPECT_EQ(missingLibrary.GetFunction(), nullptr);
}

}  // namespace
