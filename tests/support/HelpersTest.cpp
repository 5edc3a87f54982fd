// The support library's helpers: file system, OS and library functions, message
// formatting and log time stamps, and the view-aware registry wrappers with
// their key owner and readers.
#include <gtest/gtest.h>
#include <pthread.h>

#include <filesystem>
#include <string>
#include <thread>

#include "common/LogHooks.h"
#include "common/TestMachine.h"
#include "support/CFsHelper.h"
#include "support/CLibraryFunction.h"
#include "support/CWinOS.h"
#include "support/Format.h"
#include "support/LocalTime.h"
#include "support/Registry.h"

using namespace std::string_literals;

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
    // Malformed patterns never overrun.
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

const WString kKey = W("SOFTWARE\\vesk\\Test");
using List = std::vector<WString>;

void Set(const WString& name, DWORD type, const testkit::Bytes& data, REGSAM view = KEY_WOW64_64KEY)
{
    testkit::SetValue(HKEY_LOCAL_MACHINE, kKey, name, type, data, view);
}

// Each of the four view wrappers opening or creating kKey.
LSTATUS Wrapper(int which, const WString& path = kKey)
{
    HKEY raw = nullptr;
    const HKEY lm = HKEY_LOCAL_MACHINE;
    const LPCWSTR p = path.c_str();
    const LSTATUS status =
        which == 0   ? RegOpenKeyEx64(lm, p, 0, KEY_READ, &raw)
        : which == 1 ? RegOpenKeyEx32(lm, p, 0, KEY_READ, &raw)
        : which == 2 ? RegCreateKeyEx64(lm, p, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &raw, nullptr)
                     : RegCreateKeyEx32(lm, p, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &raw, nullptr);
    RegCloseKey(raw);
    return status;
}

class RegistryWrappers : public testkit::MachineTest {
protected:
    void SetUp() override { pal::SetSetting("VESK_ARCH", "x64"); }
};

// The 64-bit wrapper sees the key itself, the 32-bit one the WOW64 copy;
// Windows 2000 refuses view flags, so there both must go without one.
TEST_F(RegistryWrappers, ViewFlagIsAddedOnEveryVersionButWindows2000)
{
    Set(W("Where"), REG_DWORD, {64, 0, 0, 0}, KEY_WOW64_64KEY);
    Set(W("Where"), REG_DWORD, {32, 0, 0, 0}, KEY_WOW64_32KEY);
    for (const char* version : {"5.1", "10.0"}) {
        SCOPED_TRACE(version);
        pal::SetSetting("VESK_WINVER", version);
        for (const bool use32 : {false, true}) {
            CHRegKey key;
            ASSERT_TRUE(OpenKey(HKEY_LOCAL_MACHINE, kKey, KEY_READ, use32, false, key));
            DWORD value = 0, size = sizeof value;
            ASSERT_EQ(RegQueryValueExW(key.Get(), W("Where"), nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(&value), &size),
                      ERROR_SUCCESS);
            EXPECT_EQ(value, use32 ? 32u : 64u);
        }
    }
    // Older systems reject view flags, which shows that each wrapper sent one.
    for (int which = 0; which < 4; ++which) {
        pal::SetSetting("VESK_WINVER", "4.0");
        EXPECT_EQ(Wrapper(which), ERROR_INVALID_PARAMETER) << which;
        pal::SetSetting("VESK_WINVER", "5.0");
        EXPECT_EQ(Wrapper(which), ERROR_SUCCESS) << which;
    }

    // An unreadable version refuses without touching the registry.
    pal::SetSetting("VESK_WINVER", "not a version");
    const WString fresh = W("SOFTWARE\\vesk\\New");
    for (int which = 0; which < 4; ++which)
        EXPECT_EQ(Wrapper(which, fresh), ERROR_ACCESS_DENIED) << which;
    pal::ClearSetting("VESK_WINVER");
    EXPECT_EQ(Wrapper(0, fresh), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryWrappers, KeyOwnersCloseWhatTheyHeld)
{
    Set(W("V"), REG_DWORD, {1, 0, 0, 0});
    CHRegKey key;
    ASSERT_TRUE(OpenKey(HKEY_LOCAL_MACHINE, kKey, KEY_READ, false, false, key));
    const HKEY first = key.Get();
    ASSERT_TRUE(OpenKey(HKEY_LOCAL_MACHINE, kKey, KEY_READ, false, false, key));
    EXPECT_NE(key.Get(), first);
    EXPECT_EQ(RegCloseKey(first), ERROR_INVALID_HANDLE);

    EXPECT_FALSE(OpenKey(HKEY_LOCAL_MACHINE, W(""), KEY_READ, false, false, key));
    EXPECT_TRUE(key.IsOpen());  // an empty path is refused before anything is touched
    EXPECT_FALSE(OpenKey(HKEY_LOCAL_MACHINE, W("SOFTWARE\\missing"), KEY_READ, false, false, key));
    EXPECT_FALSE(key.IsOpen());

    // A failed close at the owner's end is logged as an error.
    testlog::TakeLines();
    {
        CHRegKey stale;
        *stale.GetAddress() = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x7ff1));
    }
    EXPECT_EQ(testlog::Take(testlog::kError),
              testlog::Lines{"CHRegKey::_Release(): RegCloseKey() error: 0x00000006"});
}

// A value is read whole only when it is binary; an empty name is refused
// before the output is touched, any other refusal leaves it empty.
TEST_F(RegistryWrappers, ReadBinaryAndMultiStringValues)
{
    Set(W("Blob"), REG_BINARY, {1, 2, 3});
    Set(W("Empty"), REG_BINARY, {});
    Set(W("Text"), REG_SZ, {0x41, 0, 0, 0});
    const struct { const char16_t* name; bool read; std::vector<uint8_t> after; } binaries[] = {
        {u"Blob", true, {1, 2, 3}}, {u"Empty", true, {}}, {u"Text", false, {}}, {u"Missing", false, {}},
        {u"", false, {9}},
    };
    for (const auto& c : binaries) {
        SCOPED_TRACE(pal::ToUtf8(c.name));
        CMyByteArray value(1);
        value.ElementAt(0) = 9;
        EXPECT_EQ(ReadBinaryValue(HKEY_LOCAL_MACHINE, kKey, c.name, value, false, false), c.read);
        EXPECT_EQ(std::vector<uint8_t>(value.GetData(), value.GetData() + value.GetSize()), c.after);
    }

    const struct { const char16_t* name; DWORD type; std::u16string stored; List read; } lists[] = {
        {u"Gap", REG_MULTI_SZ, u"A\0\0B\0\0"s, {W("A")}},
        {u"Bare", REG_MULTI_SZ, u"one\0two"s, {W("one"), W("two")}},  // no final zeros
        {u"Nothing", REG_MULTI_SZ, u""s, {}},
        {u"Text", REG_SZ, u"A\0"s, {}},  // refused
    };
    for (const auto& c : lists) {
        Set(c.name, c.type, testkit::Utf16(c.stored));
        List list{W("stale")};
        EXPECT_EQ(ReadMultiStringValue(HKEY_LOCAL_MACHINE, kKey, c.name, list, false, false), c.type == REG_MULTI_SZ);
        EXPECT_EQ(list, c.read) << pal::ToUtf8(c.name);
    }
}

TEST_F(RegistryWrappers, CreateWhenMissingMakesTheKeyButFindsNoValue)
{
    const WString settings = W("SOFTWARE\\vesk\\veskSensor\\Settings");
    List list;
    EXPECT_FALSE(
        ReadMultiStringValue(HKEY_LOCAL_MACHINE, settings, W("SensorDetectOrder"), list, false, true));
    EXPECT_EQ(Wrapper(0, settings), ERROR_SUCCESS);

    // Without write rights on the hive the key cannot be made.
    pal::SetSetting("VESK_REGISTRY_READONLY", "HKLM");
    CMyByteArray value;
    EXPECT_FALSE(
        ReadBinaryValue(HKEY_LOCAL_MACHINE, W("SOFTWARE\\vesk\\Other"), W("V"), value, false, true));
    EXPECT_EQ(Wrapper(0, W("SOFTWARE\\vesk\\Other")), ERROR_FILE_NOT_FOUND);
}

}  // namespace
