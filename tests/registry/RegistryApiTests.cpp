// The advapi32 contract of the registry functions, the WOW64 views and the
// hive files behind them: their text, corruption, read-only hives and
// concurrent writers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <thread>

#include "common/TestMachine.h"
#include "pal/base/settings.h"
#include "pal/registry/registry.h"
#include "pal/text/text.h"

namespace {

using testkit::Bytes;
using Names = std::vector<std::u16string>;
constexpr REGSAM k64 = KEY_WOW64_64KEY, k32 = KEY_WOW64_32KEY;
const char16_t kShared[] = u"Software\\vesk\\Shared";

LSTATUS EnumKey(HKEY key, DWORD index, WCHAR* name, DWORD& length)
{
    return RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
}

LSTATUS EnumValue(HKEY key, DWORD index, WCHAR* name, DWORD& length, BYTE* data = nullptr,
                  DWORD* size = nullptr, DWORD* type = nullptr)
{
    return RegEnumValueW(key, index, name, &length, nullptr, type, data, size);
}

// Handles are left open: each test has a machine of its own.
LSTATUS CreateEx(HKEY parent, LPCWSTR path, REGSAM access, HKEY& key)
{
    return RegCreateKeyExW(parent, path, 0, nullptr, 0, access, nullptr, &key, nullptr);
}

HKEY Create(HKEY parent, LPCWSTR path)
{
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, CreateEx(parent, path, KEY_ALL_ACCESS, key));
    return key;
}

LSTATUS Open(HKEY parent, LPCWSTR path, REGSAM access, HKEY& key)
{
    return RegOpenKeyExW(parent, path, 0, access, &key);
}

LSTATUS Open(HKEY parent, LPCWSTR path, REGSAM access)
{
    HKEY key = nullptr;
    return Open(parent, path, access, key);
}

void Set(HKEY key, LPCWSTR name, DWORD type, const Bytes& data)
{
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())));
}

Bytes Get(HKEY key, LPCWSTR name, DWORD* type = nullptr)
{
    DWORD size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, name, nullptr, type, nullptr, &size));
    Bytes data(size);
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, name, nullptr, nullptr, data.data(), &size));
    return data;
}

// Names of the subkeys, or of the values, in enumeration order.
Names List(HKEY key, bool subkeys)
{
    Names names;
    WCHAR name[256];
    for (DWORD i = 0, length = 256;; ++i, length = 256) {
        const LSTATUS status =
            subkeys ? EnumKey(key, i, name, length) : EnumValue(key, i, name, length);
        if (status != ERROR_SUCCESS) {
            EXPECT_EQ(ERROR_NO_MORE_ITEMS, status);
            return names;
        }
        names.emplace_back(name, length);
    }
}

// One call each, through a handle of its own, as separate callers make them.
LSTATUS SetDword(HKEY root, LPCWSTR path, LPCWSTR name, DWORD number)
{
    HKEY key = nullptr;
    const LSTATUS status = CreateEx(root, path, KEY_SET_VALUE, key);
    const auto* data = reinterpret_cast<const BYTE*>(&number);
    return status ? status : RegSetValueExW(key, name, 0, REG_DWORD, data, sizeof number);
}

LSTATUS GetDword(HKEY root, LPCWSTR path, LPCWSTR name, DWORD& number)
{
    HKEY key = nullptr;
    DWORD size = sizeof number;
    const LSTATUS status = Open(root, path, KEY_QUERY_VALUE, key);
    auto* data = reinterpret_cast<BYTE*>(&number);
    return status ? status : RegQueryValueExW(key, name, nullptr, nullptr, data, &size);
}

class RegistryApi : public testkit::MachineTest {
protected:
    std::string HivePath(const char* root) const { return m_machine.RegistryDir() + "/" + root + ".reg"; }
};

TEST_F(RegistryApi, QueryFollowsTheWin32SizeRules)
{
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\vesk");
    const Bytes data = testkit::Sz(u"abc");
    Set(key, u"v", REG_SZ, data);
    BYTE buffer[16];
    std::memset(buffer, 0xCC, sizeof buffer);
    // As every caller asks: the size first, then the data with its size.
    const struct {
        BYTE* buffer;
        DWORD size;
        LSTATUS status;
    } cases[] = {
        {nullptr, 0, ERROR_SUCCESS},    // size only
        {buffer, 7, ERROR_MORE_DATA},  // too small: needed size
        {buffer, 8, ERROR_SUCCESS},
        {buffer, 16, ERROR_SUCCESS},
    };
    for (const auto& c : cases) {
        DWORD size = c.size;
        DWORD type = 0;
        EXPECT_EQ(c.status, RegQueryValueExW(key, u"v", nullptr, &type, c.buffer, &size));
        EXPECT_EQ(8u, size);
        EXPECT_EQ(REG_SZ, type);
        EXPECT_EQ(c.status == ERROR_SUCCESS && c.buffer ? 0x61 : 0xCC, buffer[0]);
    }
    EXPECT_EQ(0, std::memcmp(buffer, data.data(), 8));
    EXPECT_EQ(0xCC, buffer[8]) << "no terminator is invented";
}

TEST_F(RegistryApi, MissingKeysAndValuesAndPathRules)
{
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open(HKEY_CURRENT_USER, u"Software\\Nothing", KEY_READ, key));
    EXPECT_EQ(nullptr, key);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, CreateEx(HKEY_CURRENT_USER, u"a\nb", KEY_READ, key))
        << "a line break cannot be stored in the hive text";

    ASSERT_EQ(ERROR_SUCCESS, CreateEx(HKEY_CURRENT_USER, u"Software\\a\\b\\c\\\\", KEY_ALL_ACCESS, key));
    HKEY same = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, CreateEx(HKEY_CURRENT_USER, u"software\\A\\B\\C", KEY_READ, same));
    HKEY middle = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"SOFTWARE\\A", KEY_READ, middle));
    EXPECT_EQ((Names{u"b"}), List(middle, true)) << "the first spelling is kept";
    // An empty sub-key names the key itself.
    ASSERT_EQ(ERROR_SUCCESS, Open(middle, u"", KEY_READ, same));
    EXPECT_EQ((Names{u"b"}), List(same, true));

    // Value names ignore case, beyond ASCII too.
    Set(key, nullptr, REG_DWORD, {1, 0, 0, 0});
    Set(key, u"", REG_DWORD, {2, 0, 0, 0});
    Set(key, u"Value\x00E9", REG_BINARY, {1});
    Set(key, u"VALUE\x00C9", REG_BINARY, {2});
    EXPECT_EQ((Bytes{2}), Get(key, u"value\x00E9"));
    EXPECT_EQ((Names{u"", u"Value\x00E9"}), List(key, false));

    BYTE buffer[4];
    DWORD size = 4;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(key, u"x", nullptr, nullptr, buffer, &size));
    EXPECT_EQ(4u, size);
    Set(key, u"v", REG_BINARY, {});
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, u"V"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(key, u"v"));
}

TEST_F(RegistryApi, RootsMissingRightsAndDeletedKeys)
{
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\acl");
    Set(key, u"v", REG_BINARY, {1});
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS})
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(root));

    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"Software\\acl", KEY_SET_VALUE, key));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegQueryValueExW(key, u"v", nullptr, nullptr, nullptr, nullptr));
    Set(key, u"w", REG_BINARY, {1});
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"Software\\acl", KEY_READ, key));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExW(key, u"v", 0, REG_BINARY, nullptr, 0));
    EXPECT_EQ((Bytes{1}), Get(key, u"v"));

    // A key is deleted only without subkeys; a handle still open then names a deleted key.
    HKEY parent = Create(HKEY_CURRENT_USER, u"Software\\tree");
    HKEY leaf = Create(parent, u"branch\\leaf");
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(parent, u"branch"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyW(parent, u"nothing"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(parent, u"BRANCH\\Leaf"));
    const BYTE one = 1;
    HKEY child = nullptr;
    EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueExW(leaf, u"v", 0, REG_BINARY, &one, 1));
    EXPECT_EQ(ERROR_KEY_DELETED, CreateEx(leaf, u"x", KEY_ALL_ACCESS, child));

    ASSERT_EQ(ERROR_SUCCESS, Open(parent, u"branch", KEY_ALL_ACCESS, child));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(child, u""));
    EXPECT_EQ(Names{}, List(parent, true));
}

TEST_F(RegistryApi, EnumerationOrderAndBufferRules)
{
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\order");
    for (LPCWSTR name : {u"b", u"_x", u"C", u"a", u"B2", u"\x00E9t\x00E9", u"Ab"})
        Create(key, name);
    EXPECT_EQ((Names{u"a", u"Ab", u"b", u"B2", u"C", u"_x", u"\x00E9t\x00E9"}), List(key, true));

    // Values keep the order they were added in; overwriting keeps the place.
    for (LPCWSTR name : {u"zeta", u"alpha", u"mid", u"ZETA"})
        Set(key, name, REG_BINARY, {1});
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, u"alpha"));
    Set(key, u"alpha", REG_BINARY, {1});
    EXPECT_EQ((Names{u"zeta", u"mid", u"alpha"}), List(key, false));

    key = Create(HKEY_CURRENT_USER, u"Software\\buffers");
    Create(key, u"Ab");
    Set(key, u"zeta", REG_SZ, testkit::Sz(u"foobar"));  // 14 bytes
    WCHAR name[8];
    BYTE data[32];
    DWORD length = 2;  // "Ab" needs 3 with its terminator
    std::fill(std::begin(name), std::end(name), u'x');
    EXPECT_EQ(ERROR_MORE_DATA, EnumKey(key, 0, name, length));
    EXPECT_EQ(u'x', name[0]);
    length = 3;
    EXPECT_EQ(ERROR_SUCCESS, EnumKey(key, 0, name, length));
    EXPECT_EQ(u"Ab", std::u16string(name, length));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, EnumKey(key, 1, name, length));

    // A short name leaves name and data alone but reports the data size; a
    // short data buffer still receives the name.
    const struct { DWORD length, size; LSTATUS status; char16_t nameStart; BYTE dataStart; } cases[] = {
        {4, 32, ERROR_MORE_DATA, u'x', 0xCC},
        {8, 13, ERROR_MORE_DATA, u'z', 0xCC},
        {5, 14, ERROR_SUCCESS, u'z', 'f'},
    };
    for (const auto& c : cases) {
        std::fill(std::begin(name), std::end(name), u'x');
        std::fill(std::begin(data), std::end(data), BYTE{0xCC});
        length = c.length;
        DWORD size = c.size;
        DWORD type = 0;
        EXPECT_EQ(c.status, EnumValue(key, 0, name, length, data, &size, &type));
        EXPECT_EQ(4u, length);
        EXPECT_EQ(14u, size);
        EXPECT_EQ(REG_SZ, type);
        EXPECT_EQ(c.nameStart, name[0]);
        EXPECT_EQ(c.dataStart, data[0]);
    }
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, EnumValue(key, 1, name, length));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, EnumValue(key, 0, name, length, data, nullptr));
}

// Windows 2000 knows no views and refuses the flags.
TEST(RegistryView, SoftwareIsSplitOnlyOnSixtyFourBitSystems)
{
    constexpr LSTATUS kOk = ERROR_SUCCESS, kNone = ERROR_FILE_NOT_FOUND, kBad = ERROR_INVALID_PARAMETER;
    const struct {
        const char16_t* path;
        REGSAM view;
        LSTATUS answers[3];  // on x64, x86 and Windows 2000
    } cases[] = {
        {u"SOFTWARE\\vesk\\ThirtyTwo", 0, {kOk, kOk, kOk}},
        {u"SOFTWARE\\vesk\\ThirtyTwo", k32, {kOk, kOk, kBad}},
        {u"SOFTWARE\\vesk\\ThirtyTwo", k64, {kNone, kOk, kBad}},
        {u"SOFTWARE\\Wow6432Node\\vesk\\ThirtyTwo", k64, {kOk, kNone, kBad}},
        {u"SOFTWARE\\vesk\\SixtyFour", k64, {kOk, kOk, kBad}},
        {u"SOFTWARE\\vesk\\SixtyFour", 0, {kNone, kOk, kNone}},
        {u"SOFTWARE\\vesk\\SixtyFour", k32 | k64, {kBad, kBad, kBad}},
        {u"", k64, {kOk, kOk, kBad}},
    };
    const std::pair<const char*, const char*> systems[] = {{"x64", ""}, {"x86", ""}, {"x86", "5.0.2195"}};
    for (size_t s = 0; s < 3; ++s) {
        testkit::CScratchMachine machine;
        pal::SetSetting("VESK_ARCH", systems[s].first);
        pal::SetSetting("VESK_WINVER", systems[s].second);
        HKEY key = nullptr;
        ASSERT_EQ(kOk, CreateEx(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\ThirtyTwo", KEY_ALL_ACCESS, key));
        EXPECT_EQ(s == 2 ? kBad : kOk,
                  CreateEx(HKEY_LOCAL_MACHINE, u"Software\\vesk\\SixtyFour", KEY_ALL_ACCESS | k64, key));
        for (const auto& c : cases) {
            EXPECT_EQ(c.answers[s], Open(HKEY_LOCAL_MACHINE, c.path, KEY_READ | c.view))
                << systems[s].first << systems[s].second << " " << pal::ToUtf8(c.path) << " " << c.view;
        }
    }
    // Other roots and other HKLM keys are shared by both views.
    testkit::CScratchMachine machine;
    for (const auto& [root, path] : {std::pair{HKEY_CURRENT_USER, u"Software\\vesk"},
                                     std::pair{HKEY_LOCAL_MACHINE, u"SYSTEM\\vesk"}}) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, CreateEx(root, path, KEY_ALL_ACCESS | k32, key));
        EXPECT_EQ(ERROR_SUCCESS, Open(root, path, KEY_READ | k64)) << pal::ToUtf8(path);
    }

    // Each call names its view: a handle opened in the 64-bit view does not
    // carry it to the keys below, as on Windows.
    HKEY software = nullptr, key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              CreateEx(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\Native", KEY_ALL_ACCESS | k64, key));
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_LOCAL_MACHINE, u"SOFTWARE", KEY_ALL_ACCESS | k64, software));
    EXPECT_EQ(ERROR_SUCCESS, Open(software, u"vesk\\Native", KEY_READ | k64));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open(software, u"vesk\\Native", KEY_READ));
    ASSERT_EQ(ERROR_SUCCESS, CreateEx(software, u"vesk\\Redirected", KEY_ALL_ACCESS, key));
    EXPECT_EQ(ERROR_SUCCESS,
              Open(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\vesk\\Redirected", KEY_READ | k64));
}

// Administrators and other processes edit the file: every call reads it afresh.
TEST_F(RegistryApi, HiveIsEditorTextAndOutsideEditsAreSeenAtOnce)
{
    ASSERT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, kShared, u"n", 1));
    const std::string path = HivePath("HKEY_CURRENT_USER");
    std::string text = testkit::ReadFile(path);
    EXPECT_EQ(0u, text.find("Windows Registry Editor Version 5.00\r\n"));
    EXPECT_NE(std::string::npos, text.find("[HKEY_CURRENT_USER\\Software\\vesk\\Shared]\r\n"));
    EXPECT_FALSE(std::filesystem::exists(HivePath("HKEY_LOCAL_MACHINE")));

    // Rewritten in place with the same size: only the stamp tells.
    const size_t at = text.find("dword:00000001");
    ASSERT_NE(std::string::npos, at);
    text[at + 13] = '7';
    testkit::WriteFile(path, text);
    DWORD number = 0;
    ASSERT_EQ(ERROR_SUCCESS, GetDword(HKEY_CURRENT_USER, kShared, u"n", number));
    EXPECT_EQ(7u, number);
    std::filesystem::remove(path);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetDword(HKEY_CURRENT_USER, kShared, u"n", number));
}

TEST(RegistryHive, CorruptHiveAnswersBadDbAndIsNeverRewritten)
{
    const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n";
    const std::string good = header +
        "[HKEY_CURRENT_USER\\Software\\vesk\\Shared]\r\n\"n\"=dword:00000001\r\n\r\n"
        "; end of hive\r\n";
    // Why the text does not parse is RegText's to tell; here one file of each
    // kind, and the words that say what is wrong where.
    const std::pair<std::string, const char*> cases[] = {
        {good.substr(0, good.find("; end")), "is damaged, it is cut short"},
        {"", "is damaged, it is cut short"},
        {header + "[HKEY_USERS\\x]\r\n; end of hive\r\n", "is damaged, line 3: the key is not below"},
        {"fifo", "is not a regular file"},  // must not wait for a writer
    };
    for (const auto& [text, why] : cases) {
        SCOPED_TRACE(text);
        testkit::CScratchMachine machine;
        const HKEY early = Create(HKEY_CURRENT_USER, kShared);
        const std::string path = machine.RegistryDir() + "/HKEY_CURRENT_USER.reg";
        if (text == "fifo") {
            std::filesystem::remove(path);
            ASSERT_EQ(0, mkfifo(path.c_str(), 0600));
        } else {
            testkit::WriteFile(path, text);
        }

        DWORD number = 0;
        WCHAR name[16];
        DWORD length = 16;
        EXPECT_EQ(ERROR_BADDB, SetDword(HKEY_CURRENT_USER, u"New", u"n", 2));
        EXPECT_NE(std::string::npos, pal::RegistryProblem().find("'" + path + "' " + why))
            << pal::RegistryProblem();
        EXPECT_EQ(ERROR_BADDB, GetDword(HKEY_CURRENT_USER, u"", u"n", number));
        EXPECT_EQ(ERROR_BADDB, RegSetValueExW(early, u"n", 0, REG_BINARY, nullptr, 0));
        EXPECT_EQ(ERROR_BADDB, RegDeleteKeyW(HKEY_CURRENT_USER, kShared));
        EXPECT_EQ(ERROR_BADDB, EnumValue(early, 0, name, length));
        if (text != "fifo") {
            EXPECT_EQ(text, testkit::ReadFile(path));
        }
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(early));
        EXPECT_EQ(ERROR_SUCCESS, SetDword(HKEY_LOCAL_MACHINE, u"SOFTWARE\\x", u"n", 1))
            << "other hives are unaffected";
    }
}

// Windows' name limits hold for what is added; a hive file holding more is
// still read. A writer that holds the lock too long makes others fail with
// ERROR_TIMEOUT, not wait forever, and writes that change nothing do not wait
// at all. Temporary files of killed writers are cleared, not collided with.
TEST_F(RegistryApi, LimitsAndBoundedWaits)
{
    const HKEY key = Create(HKEY_CURRENT_USER, kShared);
    const std::u16string longest(16383, u'v'), longKey(255, u'k');
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, longest.c_str(), 0, REG_BINARY, nullptr, 0));
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegSetValueExW(key, (longest + u'v').c_str(), 0, REG_BINARY, nullptr, 0));
    HKEY child = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, CreateEx(key, longKey.c_str(), KEY_READ, child));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, CreateEx(key, (u"a\\" + longKey + u'k').c_str(), KEY_READ, child));

    const std::string path = HivePath("HKEY_CURRENT_USER");
    std::string text = testkit::ReadFile(path);
    const std::string over(20000, 'o');
    text.insert(text.find("; end of hive"), "[HKEY_CURRENT_USER\\Over]\r\n\"" + over + "\"=dword:00000002\r\n");
    testkit::WriteFile(path, text);
    DWORD number = 0;
    EXPECT_EQ(ERROR_SUCCESS, GetDword(HKEY_CURRENT_USER, u"Over", pal::FromUtf8(over).c_str(), number));
    EXPECT_EQ(2u, number);

    ASSERT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, kShared, u"n", 1));
    for (int n = 1; n <= 200; ++n)  // the names a writer of our pid would have used before
        testkit::WriteFile(path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(n), "x");
    const int lock = open((path + ".lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(0, flock(lock, LOCK_EX));
    pal::SetSetting("VESK_REGISTRY_LOCK_MS", "300");
    EXPECT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, kShared, u"n", 1)) << "unchanged";
    EXPECT_EQ(ERROR_SUCCESS, CreateEx(HKEY_CURRENT_USER, kShared, KEY_ALL_ACCESS, child));
    EXPECT_EQ(ERROR_TIMEOUT, SetDword(HKEY_CURRENT_USER, kShared, u"n", 2));
    EXPECT_NE(std::string::npos, pal::RegistryProblem().find("held the lock of '" + path + "' for 300 ms"));
    close(lock);
    EXPECT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, kShared, u"n", 2));
    size_t left = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
        left += entry.path().filename().string().find(".tmp.") != std::string::npos;
    EXPECT_EQ(0u, left);
}

TEST_F(RegistryApi, ReadOnlyHiveRefusesEveryWrite)
{
    ASSERT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, kShared, u"n", 5));
    HKEY early = nullptr, key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, kShared, KEY_ALL_ACCESS, early));
    const std::string before = testkit::ReadFile(HivePath("HKEY_CURRENT_USER"));

    pal::SetSetting("VESK_REGISTRY_READONLY", " hkcu , HKEY_LOCAL_MACHINE ");
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetDword(HKEY_CURRENT_USER, u"Software\\New", u"n", 6));
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetDword(HKEY_LOCAL_MACHINE, u"SOFTWARE\\x", u"n", 1));
    EXPECT_EQ(ERROR_ACCESS_DENIED, Open(HKEY_CURRENT_USER, kShared, KEY_SET_VALUE));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExW(early, u"n", 0, REG_BINARY, nullptr, 0));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueW(early, u"n"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_CURRENT_USER, kShared));

    // Reading, and creating what exists, still work.
    DWORD number = 0;
    ASSERT_EQ(ERROR_SUCCESS, CreateEx(HKEY_CURRENT_USER, kShared, KEY_READ, key));
    EXPECT_EQ(ERROR_SUCCESS, GetDword(HKEY_CURRENT_USER, kShared, u"n", number));
    EXPECT_EQ(5u, number);
    EXPECT_EQ(before, testkit::ReadFile(HivePath("HKEY_CURRENT_USER")));

    pal::SetSetting("VESK_REGISTRY_READONLY", "HKLM");
    EXPECT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, kShared, u"n", 6));
}

constexpr int kWriters = 3, kThreads = 2, kWritesPerThread = 75;

std::u16string ValueName(int writer, int index)
{
    return pal::FromUtf8("w" + std::to_string(writer) + "-" + std::to_string(index));
}

// Run by ConcurrentWritersLoseNothing in child processes, never on its own.
TEST(RegistryHive, DISABLED_ChildWriter)
{
    const char* writer = std::getenv("VESK_TEST_WRITER");
    ASSERT_NE(nullptr, writer);
    std::vector<std::thread> threads;
    for (int t = std::atoi(writer) * kThreads, end = t + kThreads; t < end; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kWritesPerThread; ++i)
                EXPECT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, kShared, ValueName(t, i).c_str(), i));
        });
    for (std::thread& t : threads)
        t.join();
}

// Threads of one process and several processes, all on one key.
TEST_F(RegistryApi, ConcurrentWritersLoseNothing)
{
    std::vector<std::future<testkit::ProcessResult>> writers;
    for (int w = 0; w < kWriters; ++w)
        writers.push_back(std::async(std::launch::async, [w] {
            const std::string filter = "--gtest_filter=RegistryHive.DISABLED_ChildWriter";
            return testkit::RunProcess({testkit::SelfPath(), filter, "--gtest_also_run_disabled_tests"},
                                       {{"VESK_TEST_WRITER", std::to_string(w)}});
        }));
    for (auto& writer : writers) {
        const testkit::ProcessResult result = writer.get();
        ASSERT_EQ(0, result.exitCode) << result.out << result.err;
    }
    for (int w = 0; w < kWriters * kThreads; ++w) {
        for (int i = 0; i < kWritesPerThread; ++i) {
            DWORD number = 0;
            ASSERT_EQ(ERROR_SUCCESS,
                      GetDword(HKEY_CURRENT_USER, kShared, ValueName(w, i).c_str(), number));
            EXPECT_EQ(static_cast<DWORD>(i), number);
        }
    }
}

}  // namespace
