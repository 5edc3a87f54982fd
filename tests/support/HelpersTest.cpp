// File-system, OS and module helpers; message formatting and log time stamps.
#include <gtest/gtest.h>
#include <pthread.h>

#include <filesystem>
#include <regex>
#include <thread>

#include "LogCapture.h"
#include "common/TestMachine.h"
#include "support/CFsHelper.h"
#include "support/CHModule.h"
#include "support/CLibraryFunction.h"
#include "support/CWinOS.h"
#include "support/Format.h"
#include "support/LocalTime.h"

namespace {

WString Wide(const std::string& text) { return pal::FromUtf8(text); }
std::string Utf8(const WString& text) { return pal::ToUtf8(text); }

using FsHelper = testkit::MachineTest;

TEST_F(FsHelper, PathExists)
{
    EXPECT_TRUE(CFsHelper::PathExists(Wide(Write("file.txt", "x"))));
    EXPECT_TRUE(CFsHelper::PathExists(Wide(m_machine.Root())));
    EXPECT_TRUE(CFsHelper::PathExists(Wide(m_machine.Root() + "\\system32")));
    EXPECT_FALSE(CFsHelper::PathExists(Wide(Path("missing"))));
    EXPECT_FALSE(CFsHelper::PathExists(W("")));
}

// Stamped libraries answer their version padded or plain; a file without one
// answers nothing and logs a warning.
TEST_F(FsHelper, FileVersions)
{
    struct Case { const char* path; const char* padded; const char* plain; } const cases[] = {
        {VESK_VERSIONED_SAMPLE, "07.07.00.00060", "7.7.0.60"},
        {VESK_VERSIONED_PROGRAM, "10.02.300.65535", "10.2.300.65535"},
    };
    WString version;
    for (const Case& c : cases) {
        ASSERT_TRUE(CFsHelper::GetFileVersion(Wide(c.path), version, true)) << c.path;
        EXPECT_EQ(pal::ToUtf8(version), c.padded);
        ASSERT_TRUE(CFsHelper::GetFileVersion(Wide(c.path), version, false)) << c.path;
        EXPECT_EQ(pal::ToUtf8(version), c.plain);
    }
    const logcapture::CCapture log(2);
    EXPECT_FALSE(CFsHelper::GetFileVersion(Wide(Write("plain.txt", "no version here")), version, true));
    EXPECT_TRUE(version.empty());
    EXPECT_FALSE(CFsHelper::GetFileVersion(W(""), version, true));
    const std::regex warning(
        R"(2 CFsHelper::GetFileVersion\(\): GetFileVersionInfoSize\(\): Error: 0x[0-9a-f]{8}\n)");
    EXPECT_TRUE(std::regex_match(log.Text(), warning)) << log.Text();
}

// The answers are cached for the life of a process, so each machine kind is
// asked in a fresh child process.
TEST(WinOSChild, DISABLED_Print)
{
    std::printf("answers:%d%d\n", CWinOS::Is64BitSystem() ? 1 : 0, CWinOS::IsWow64() ? 1 : 0);
}

TEST(WinOS, SystemKinds)
{
    struct Case { const char *arch, *version, *missing, *answers; } const cases[] = {
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

// The client protocol is RDP in a remote session only, asked afresh on every
// call; the library asks whether it is anything but the console.
TEST(Session, RemoteWhenTheClientProtocolIsNotTheConsole)
{
    for (const char* session : {"", "/tmp/vesk-rdp.sock", ""}) {
        pal::SetSetting("VESK_RDP_SESSION", session);
        LPWSTR buffer = nullptr;
        DWORD bytes = 0;
        ASSERT_TRUE(WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION,
                                                WTSClientProtocolType, &buffer, &bytes));
        EXPECT_EQ(bytes, 2u);
        const USHORT protocol = *session ? WTS_PROTOCOL_TYPE_RDP : WTS_PROTOCOL_TYPE_CONSOLE;
        EXPECT_EQ(*reinterpret_cast<USHORT*>(buffer), protocol);
        WTSFreeMemory(buffer);
        EXPECT_EQ(IsRemoteSession(), *session != 0) << session;
    }
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

    const logcapture::CCapture log(1);
    {
        CHModule holder;
        holder.Attach(reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x7ff1)));
    }
    const std::regex error(R"(1 CHModule::_Release\(\): FreeLibrary\(\) error: 0x[0-9a-f]{8}\n)");
    EXPECT_TRUE(std::regex_match(log.Text(), error)) << log.Text();
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

TEST(Format, Conversions)
{
    EXPECT_EQ(Utf8(FormatHex32(0x4d8)), "0x000004d8");
    EXPECT_EQ(Utf8(FormatHex32(0xFFFFFFFFu)), "0xffffffff");
    EXPECT_EQ(Utf8(Format(u"ID:  0x%x", 0xa2cu)), "ID:  0xa2c");
    EXPECT_EQ(Utf8(Format(u"Error Code: 0x%X", -2)), "Error Code: 0xFFFFFFFE");
    EXPECT_EQ(Utf8(Format(u"%#X|%#x|%#x", 255, 255, 0)), "0XFF|0xff|0");
    EXPECT_EQ(Utf8(Format(u"%d %i %u", -5, int64_t{-9000000000}, 7u)), "-5 -9000000000 7");
    EXPECT_EQ(Utf8(Format(u"[%5d][%-4d][%05d][%03d]", 42, 7, -3, 1234)), "[   42][7   ][-0003][1234]");
    EXPECT_EQ(Utf8(Format(u"%s=%s %c%%", u"name", WString(u"value"), u'!')), "name=value !%");
    EXPECT_EQ(Utf8(Format(u"%ld %lu %hx", 1L, 2UL, 0x1f)), "1 2 1f");
}

TEST(Format, MalformedPatternsNeverOverrun)
{
    EXPECT_EQ(Utf8(Format(u"missing %d %s", 1)), "missing 1 ");
    EXPECT_EQ(Utf8(Format(u"type clash %d", u"text")), "type clash ");
    EXPECT_EQ(Utf8(Format(u"dangling %")), "dangling ");
    EXPECT_EQ(Utf8(Format(u"dangling %08")), "dangling ");
    EXPECT_LE(Format(u"%999999999999d", 1).size(), 1024u);
    EXPECT_EQ(Utf8(FormatText(nullptr, {})), "");
    EXPECT_EQ(Utf8(Format(u"%s", static_cast<const WCHAR*>(nullptr))), "(null)");
}

TEST(LocalTime, FixedWidthEnglishStamps)
{
    SYSTEMTIME time{2011, 2, 1, 14, 9, 5, 7, 0};
    EXPECT_EQ(Utf8(FormatLogTime(time)), "Mon Feb 14 09:05:07 2011");
    EXPECT_EQ(Utf8(FormatCompactTime(time)), "20110214090507");
    time = SYSTEMTIME{1999, 12, 0, 3, 23, 59, 59, 999};
    EXPECT_EQ(Utf8(FormatLogTime(time)), "Sun Dec 03 23:59:59 1999");
    time.wMonth = 13;
    time.wDayOfWeek = 9;
    EXPECT_EQ(FormatLogTime(time).size(), 24u);
}

}  // namespace
