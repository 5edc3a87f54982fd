// Loading the product: the entry notification, the add-in registration and
// the export table. Every load happens in a child process of its own.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "common/TestMachine.h"
#include "support/Registry.h"

namespace {

const std::u16string kAddinKey = u"Software\\Microsoft\\Terminal Server Client\\Default\\AddIns\\veskSensor";

TEST(ModuleChild, DISABLED_LoadAndUnload)
{
    void* library = dlopen(VESK_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* name : {"InitFingerscannerData", "DetectFingerscanner",
                             "GetImageFromFingerscanner", "StopFingerscanner",
                             "CurrentlyUsedFingerscanner"})
        EXPECT_NE(dlsym(library, name), nullptr) << name;
    // Nothing else leaks: not the platform layer, not the logger.
    for (const char* name : {"RegOpenKeyExW", "DllMain", "InitFileLoggerFacility", "LogError"})
        EXPECT_EQ(dlsym(library, name), nullptr) << name;
    dlclose(library);
}

class ModuleAttach : public testkit::MachineTest {
protected:
    void Load(const std::vector<std::pair<std::string, std::string>>& env = {})
    {
        const auto result = testkit::RunProcess(
            {testkit::SelfPath(), "--gtest_also_run_disabled_tests", "--gtest_filter=ModuleChild.DISABLED_LoadAndUnload"},
            env);
        EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    }

    std::u16string AddinName()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kAddinKey.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &key))
            return u"<no key>";
        std::u16string text(512, u'\0');
        DWORD size = static_cast<DWORD>(text.size() * 2);
        DWORD type = 0;
        const LSTATUS status = RegQueryValueExW(key, u"Name", nullptr, &type,
                                                reinterpret_cast<BYTE*>(text.data()), &size);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS || type != REG_SZ)
            return u"<no value>";
        text.resize(size / 2);
        EXPECT_EQ(text.back(), u'\0');  // stored with its terminator
        text.pop_back();
        return text;
    }
};

// The first load on a fresh machine makes the key; each load after it
// writes the name again, for the architecture of that load.
TEST_F(ModuleAttach, RegistersTheAddinAtEveryLoad)
{
    for (const char* arch : {"x86", "x64", "x86"}) {
        Load({{"VESK_ARCH", arch}});
        EXPECT_EQ(pal::ToUtf8(AddinName()),
                  m_machine.SystemDir() + (arch == std::string("x86") ? "\\veskSensor.dll" : "\\veskSensorx64.dll"));
    }
}

TEST_F(ModuleAttach, ReadOnlyUserHiveStillLoads)
{
    Load({{"VESK_REGISTRY_READONLY", "HKCU"}});
    EXPECT_EQ(AddinName(), u"<no key>");
}

TEST_F(ModuleAttach, LoggerStartsAndStopsWithTheLibrary)
{
    const std::string logs = m_machine.Path("logs");
    std::filesystem::create_directories(logs);
    const auto result = testkit::RunProcess(
        {VESK_ADMIN_EXE, "logging", "--level", "debug", "--folder", logs});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    Load();
    const std::string text = testkit::ReadFile(logs + "/module_tests.txt");
    EXPECT_NE(text.find("FileLogger facility initialized for context: module_tests"), std::string::npos) << text;
    EXPECT_NE(text.find("FileLogger facility destroyed for context: module_tests"), std::string::npos) << text;
}

}  // namespace
