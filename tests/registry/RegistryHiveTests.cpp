// The hive files: their text, corruption, read-only hives and concurrent writers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "common/TestMachine.h"
#include "pal/base/settings.h"
#include "pal/registry/registry.h"
#include "pal/text/text.h"

namespace {

const char16_t kKeyPath[] = u"Software\\vesk\\Shared";

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

std::u16string ValueName(int writer, int index)
{
    return pal::FromUtf8("w" + std::to_string(writer) + "-" + std::to_string(index));
}

// Administrators and other processes edit the file: every call reads it afresh.
TEST(RegistryHive, FileIsEditorTextAndOutsideEditsAreSeenAtOnce)
{
    testkit::CScratchMachine machine;
    ASSERT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, kKeyPath, u"n", 1));
    const std::string path = HivePath(machine, "HKEY_CURRENT_USER");
    std::string text = testkit::ReadFile(path);
    EXPECT_EQ(0u, text.find("Windows Registry Editor Version 5.00\r\n"));
    EXPECT_NE(std::string::npos, text.find("[HKEY_CURRENT_USER\\Software\\vesk\\Shared]\r\n"));
    EXPECT_FALSE(std::filesystem::exists(HivePath(machine, "HKEY_LOCAL_MACHINE")));

    // Rewritten in place with the same size: only the stamp tells.
    const size_t at = text.find("dword:00000001");
    ASSERT_NE(std::string::npos, at);
    text[at + 13] = '7';
    testkit::WriteFile(path, text);
    DWORD number = 0;
    ASSERT_EQ(ERROR_SUCCESS, GetDword(HKEY_CURRENT_USER, kKeyPath, u"n", number));
    EXPECT_EQ(7u, number);
    std::filesystem::remove(path);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetDword(HKEY_CURRENT_USER, kKeyPath, u"n", number));
}

TEST(RegistryHive, CorruptHiveAnswersBadDbAndIsNeverRewritten)
{
    const std::string header = "Windows Registry Editor Version 5.00\r\n\r\n";
    const std::string good = header +
        "[HKEY_CURRENT_USER\\Software\\vesk\\Shared]\r\n\"n\"=dword:00000001\r\n\r\n"
        "; end of hive\r\n";
    const std::string cases[] = {
        good.substr(0, good.find("; end")),  // cut before the trailer
        good.substr(0, 70),                  // cut inside a line
        "",
        header + "[HKEY_CURRENT_USER\\x\r\n; end of hive\r\n",
        header + "[HKEY_USERS\\x]\r\n; end of hive\r\n",  // another root
        std::string("\x00\x01\xFF", 3),
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text);
        testkit::CScratchMachine machine;
        HKEY early = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, 0,
                                                 KEY_ALL_ACCESS, nullptr, &early, nullptr));
        const std::string path = HivePath(machine, "HKEY_CURRENT_USER");
        testkit::WriteFile(path, text);

        DWORD number = 0;
        WCHAR name[16];
        DWORD length = 16;
        EXPECT_EQ(ERROR_BADDB, SetDword(HKEY_CURRENT_USER, u"New", u"n", 2));
        EXPECT_EQ(ERROR_BADDB, GetDword(HKEY_CURRENT_USER, u"", u"n", number));
        EXPECT_EQ(ERROR_BADDB, RegSetValueExW(early, u"n", 0, REG_BINARY, nullptr, 0));
        EXPECT_EQ(ERROR_BADDB, RegDeleteKeyW(HKEY_CURRENT_USER, kKeyPath));
        EXPECT_EQ(ERROR_BADDB,
                  RegEnumValueW(early, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(text, testkit::ReadFile(path));
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

    pal::SetSetting("VESK_REGISTRY_READONLY", " hkcu , HKEY_LOCAL_MACHINE ");
    HKEY key = nullptr;
    DWORD disposition = 0;
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetDword(HKEY_CURRENT_USER, u"Software\\New", u"n", 6));
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetDword(HKEY_LOCAL_MACHINE, u"SOFTWARE\\x", u"n", 1));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_SET_VALUE, &key));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExW(early, u"n", 0, REG_BINARY, nullptr, 0));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueW(early, u"n"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_CURRENT_USER, kKeyPath));

    // Reading, and creating what exists, still work.
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, 0, KEY_READ,
                                             nullptr, &key, &disposition));
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);
    RegCloseKey(key);
    DWORD number = 0;
    EXPECT_EQ(ERROR_SUCCESS, GetDword(HKEY_CURRENT_USER, kKeyPath, u"n", number));
    EXPECT_EQ(5u, number);
    EXPECT_EQ(before, testkit::ReadFile(path));

    pal::SetSetting("VESK_REGISTRY_READONLY", "HKLM");
    EXPECT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, kKeyPath, u"n", 6));
    RegCloseKey(early);
}

constexpr int kThreads = 2, kWritesPerThread = 75;

// Run by ConcurrentWritersLoseNothing in child processes, never on its own.
TEST(RegistryHive, DISABLED_ChildWriter)
{
    const char* writer = std::getenv("VESK_TEST_WRITER");
    ASSERT_NE(nullptr, writer);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, w = std::atoi(writer) * kThreads] {
            for (int i = 0; i < kWritesPerThread; ++i)
                EXPECT_EQ(ERROR_SUCCESS, SetDword(HKEY_CURRENT_USER, kKeyPath,
                                                  ValueName(w + t, i).c_str(), i));
        });
    }
    for (std::thread& t : threads)
        t.join();
}

// Threads of one process and several processes, all on one key.
TEST(RegistryHive, ConcurrentWritersLoseNothing)
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

    for (int w = 0; w < kWriters * kThreads; ++w) {
        for (int i = 0; i < kWritesPerThread; ++i) {
            DWORD number = 0;
            ASSERT_EQ(ERROR_SUCCESS,
                      GetDword(HKEY_CURRENT_USER, kKeyPath, ValueName(w, i).c_str(), number));
            EXPECT_EQ(static_cast<DWORD>(i), number);
        }
    }
}

}  // namespace
