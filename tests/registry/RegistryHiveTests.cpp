// The hive files: their text, corruption, read-only hives and concurrent writers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "common/TestMachine.h"
#include "pal/base/settings.h"
#include "pal/registry/registry.h"
#include "pal/text/text.h"
#include "regtext/RegText.h"

namespace {

const char16_t kKeyPath[] = u"Software\\vesk\\Shared";
constexpr REGSAM kMaximumAllowed = 0x02000000u;

std::string HivePath(const testkit::CScratchMachine& machine, const char* root)
{
    return machine.RegistryDir() + "/" + root + ".reg";
}

LSTATUS SetDword(HKEY root, LPCWSTR path, LPCWSTR name, DWORD number)
{
    HKEY key = nullptr;
    LSTATUS status =
        RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                sizeof number);
        RegCloseKey(key);
    }
    return status;
}

LSTATUS GetDword(HKEY root, LPCWSTR path, LPCWSTR name, DWORD& number)
{
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, &key);
    if (status == ERROR_SUCCESS) {
        DWORD size = sizeof number;
        status = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&number),
                                  &size);
        RegCloseKey(key);
    }
    return status;
}

DWORD ValueCount(HKEY root, LPCWSTR path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD count = 0;
    WCHAR name[64];
    for (DWORD length = 64;
         RegEnumValueW(key, count, name, &length, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
         length = 64)
        ++count;
    RegCloseKey(key);
    return count;
}

std::u16string ValueName(int writer, int index)
{
    return pal::FromUtf8("w" + std::to_string(writer) + "-" + std::to_string(index));
}

TEST(RegistryHive, FileIsEditorTextWithTrailer)
{
    testkit::CScratchMachine machine;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\Empty\\Leaf", 0,
                                             nullptr, 0, KEY_READ, nullptr, &key, nullptr));
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, SetDword(HKEY_LOCAL_MACHINE, u"SYSTEM\\Data", u"n", 10));

    const std::string text = testkit::ReadFile(HivePath(machine, "HKEY_LOCAL_MACHINE"));
    EXPECT_EQ(0u, text.find("Windows Registry Editor Version 5.00\r\n"));
    EXPECT_NE(std::string::npos, text.find("[HKEY_LOCAL_MACHINE\\SYSTEM\\Empty]\r\n"));
    EXPECT_NE(std::string::npos, text.find("[HKEY_LOCAL_MACHINE\\SYSTEM\\Empty\\Leaf]\r\n"));
    EXPECT_NE(std::string::npos, text.find("\"n\"=dword:0000000a\r\n"));
    const std::string trailer = "\r\n; end of hive\r\n";
    ASSERT_GE(text.size(), trailer.size());
    EXPECT_EQ(trailer, text.substr(text.size() - trailer.size()));
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_EQ('\r', text[i - 1]) << "bare LF at byte " << i;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(HivePath(machine, "HKEY_CURRENT_USER")));
}

TEST(RegistryHive, ChangesOfTheFileAreSeenAtOnce)
{
    testkit::CScratchMachine machine;
    ASSERT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, kKeyPath, u"n", 1));
    DWORD number = 0;
    ASSERT_EQ(ERROR_SUCCESS, GetDword(HKEY_CURRENT_USER, kKeyPath, u"n", number));

    // Rewritten in place with the same size: only the stamp tells.
    const std::string path = HivePath(machine, "HKEY_CURRENT_USER");
    std::string text = testkit::ReadFile(path);
    const size_t at = text.find("dword:00000001");
    ASSERT_NE(std::string::npos, at);
    text[at + 13] = '7';
    testkit::WriteFile(path, text);
    ASSERT_EQ(ERROR_SUCCESS, GetDword(HKEY_CURRENT_USER, kKeyPath, u"n", number));
    EXPECT_EQ(7u, number);

    std::filesystem::remove(path);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetDword(HKEY_CURRENT_USER, kKeyPath, u"n", number));
}

TEST(RegistryHive, CorruptHiveAnswersBadDbAndIsNeverRewritten)
{
    const std::string good =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\vesk\\Shared]\r\n\"n\"=dword:00000001\r\n\r\n"
        "; end of hive\r\n";
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"cut before the trailer", good.substr(0, good.find("; end"))},
        {"cut inside a line", good.substr(0, 70)},
        {"empty file", ""},
        {"syntax error", "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\x\r\n"
                         "; end of hive\r\n"},
        {"another root", "Windows Registry Editor Version 5.00\r\n[HKEY_USERS\\x]\r\n"
                         "; end of hive\r\n"},
        {"not text", std::string("\x00\x01\xFF", 3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testkit::CScratchMachine machine;
        HKEY early = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &early, nullptr));
        const std::string path = HivePath(machine, "HKEY_CURRENT_USER");
        testkit::WriteFile(path, c.text);

        HKEY key = nullptr;
        DWORD number = 0;
        WCHAR name[16];
        DWORD length = 16;
        EXPECT_EQ(ERROR_BADDB, RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, &key));
        EXPECT_EQ(ERROR_BADDB, RegOpenKeyExW(HKEY_CURRENT_USER, u"", 0, KEY_READ, &key));
        EXPECT_EQ(ERROR_BADDB, RegCreateKeyExW(HKEY_CURRENT_USER, u"New", 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, &key, nullptr));
        EXPECT_EQ(ERROR_BADDB, SetDword(HKEY_CURRENT_USER, u"", u"n", 2));
        EXPECT_EQ(ERROR_BADDB, RegSetValueExW(early, u"n", 0, REG_BINARY, nullptr, 0));
        EXPECT_EQ(ERROR_BADDB, GetDword(HKEY_CURRENT_USER, u"", u"n", number));
        EXPECT_EQ(ERROR_BADDB, RegDeleteValueW(early, u"n"));
        EXPECT_EQ(ERROR_BADDB, RegDeleteKeyW(HKEY_CURRENT_USER, kKeyPath));
        EXPECT_EQ(ERROR_BADDB,
                  RegEnumKeyExW(early, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_BADDB,
                  RegEnumValueW(early, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(c.text, testkit::ReadFile(path));
        EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(early));
        EXPECT_EQ(ERROR_SUCCESS, SetDword(HKEY_LOCAL_MACHINE, u"SOFTWARE\\x", u"n", 1))
            << "other hives are unaffected";
    }
}

TEST(RegistryHive, ReadOnlyHiveRefusesEveryWrite)
{
    testkit::CScratchMachine machine;
    ASSERT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, kKeyPath, u"n", 5));
    HKEY early = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_ALL_ACCESS, &early));
    const std::string path = HivePath(machine, "HKEY_CURRENT_USER");
    const std::string before = testkit::ReadFile(path);

    for (const char* list : {"HKCU", " hklm , HKEY_CURRENT_USER "}) {
        SCOPED_TRACE(list);
        pal::SetSetting("VESK_REGISTRY_READONLY", list);
        HKEY key = nullptr;
        DWORD disposition = 0;
        EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\New", 0,
                                                       nullptr, 0, KEY_READ, nullptr, &key,
                                                       nullptr));
        EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr,
                                                       0, KEY_WRITE, nullptr, &key, nullptr));
        EXPECT_EQ(ERROR_ACCESS_DENIED,
                  RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_SET_VALUE, &key));
        EXPECT_EQ(ERROR_ACCESS_DENIED, SetDword(HKEY_CURRENT_USER, kKeyPath, u"n", 6));
        const BYTE one = 1;
        EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExW(early, u"n", 0, REG_BINARY, &one, 1));
        EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueW(early, u"n"));
        EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_CURRENT_USER, kKeyPath));

        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, 0,
                                                 KEY_READ, nullptr, &key, &disposition));
        EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);
        RegCloseKey(key);
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0,
                                               kMaximumAllowed, &key));
        RegCloseKey(key);
        DWORD number = 0;
        EXPECT_EQ(ERROR_SUCCESS, GetDword(HKEY_CURRENT_USER, kKeyPath, u"n", number));
        EXPECT_EQ(5u, number);
        EXPECT_EQ(before, testkit::ReadFile(path));
    }
    pal::SetSetting("VESK_REGISTRY_READONLY", "HKLM");
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetDword(HKEY_LOCAL_MACHINE, u"SOFTWARE\\x", u"n", 1));
    EXPECT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, kKeyPath, u"n", 6));
    RegCloseKey(early);
}

TEST(RegistryHive, UnwritableFolderIsReadOnlyForUsers)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes anywhere";
    testkit::CScratchMachine machine;
    ASSERT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, kKeyPath, u"n", 5));
    std::filesystem::permissions(machine.RegistryDir(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetDword(HKEY_CURRENT_USER, kKeyPath, u"n", 6));
    DWORD number = 0;
    EXPECT_EQ(ERROR_SUCCESS, GetDword(HKEY_CURRENT_USER, kKeyPath, u"n", number));
    std::filesystem::permissions(machine.RegistryDir(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
}

constexpr int kWritesPerWriter = 150;

// Run by the cross-process test in child processes, never on its own.
TEST(RegistryHive, DISABLED_ChildWriter)
{
    const char* writer = std::getenv("VESK_TEST_WRITER");
    ASSERT_NE(nullptr, writer);
    for (int i = 0; i < kWritesPerWriter; ++i) {
        ASSERT_EQ(ERROR_SUCCESS,
                  SetDword(HKEY_CURRENT_USER, kKeyPath, ValueName(std::atoi(writer), i).c_str(),
                           static_cast<DWORD>(i)));
    }
}

TEST(RegistryHive, ConcurrentProcessesLoseNoWrite)
{
    testkit::CScratchMachine machine;
    constexpr int kWriters = 3;
    std::vector<testkit::ProcessResult> results(kWriters);
    std::vector<std::thread> threads;
    for (int w = 0; w < kWriters; ++w) {
        threads.emplace_back([&results, w] {
            results[w] = testkit::RunProcess(
                {testkit::SelfPath(), "--gtest_filter=RegistryHive.DISABLED_ChildWriter",
                 "--gtest_also_run_disabled_tests"},
                {{"VESK_TEST_WRITER", std::to_string(w)}});
        });
    }
    for (std::thread& t : threads)
        t.join();
    for (const testkit::ProcessResult& result : results)
        ASSERT_EQ(0, result.exitCode) << result.out << result.err;

    EXPECT_EQ(static_cast<DWORD>(kWriters * kWritesPerWriter),
              ValueCount(HKEY_CURRENT_USER, kKeyPath));
    for (int w = 0; w < kWriters; ++w) {
        for (int i = 0; i < kWritesPerWriter; i += 7) {
            DWORD number = 0;
            ASSERT_EQ(ERROR_SUCCESS,
                      GetDword(HKEY_CURRENT_USER, kKeyPath, ValueName(w, i).c_str(), number));
            EXPECT_EQ(static_cast<DWORD>(i), number);
        }
    }
}

TEST(RegistryHive, ConcurrentThreadsLoseNoWrite)
{
    testkit::CScratchMachine machine;
    constexpr int kThreads = 4;
    constexpr int kWrites = 40;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kWrites; ++i)
                EXPECT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, kKeyPath,
                                                  ValueName(t, i).c_str(), 1));
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(static_cast<DWORD>(kThreads * kWrites), ValueCount(HKEY_CURRENT_USER, kKeyPath));
}

}  // namespace
