#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "SystemTestKit.h"

namespace {

namespace fs = std::filesystem;

typedef const char* (*ZlibVersionFn)();

// Started with this variable set, the program plays a child's role, chosen
// before main so that gtest never starts: it prints what the call answered.
constexpr const char* kRole = "SYSTEM_TESTS_ROLE";
constexpr const char* kArgument = "SYSTEM_TESTS_ARGUMENT";

[[maybe_unused]] const bool g_bChild = [] {
    const char* role = std::getenv(kRole);
    if (!role)
        return false;
    WCHAR text[MAX_PATH] = {};
    bool ok = false;
    if (std::string(role) == "basename") {
        ok = GetModuleBaseNameW(GetCurrentProcess(), nullptr, text, MAX_PATH) != 0;
    } else {
        const HMODULE module = LoadLibraryW(pal::FromUtf8(std::getenv(kArgument)).c_str());
        ok = module && GetModuleFileNameW(module, text, MAX_PATH) != 0;
    }
    const std::string answer = ok ? pal::ToUtf8(text) : "error " + std::to_string(GetLastError());
    std::printf("%s", answer.c_str());
    std::fflush(stdout);
    _exit(ok ? 0 : 1);
}();

const std::string kZlib = [] {
    for (const char* dir : {"/lib/x86_64-linux-gnu", "/usr/lib/x86_64-linux-gnu", "/lib64", "/usr/lib"}) {
        if (fs::exists(std::string(dir) + "/libz.so.1"))
            return std::string(dir) + "/libz.so.1";
    }
    return std::string();
}();

// Copies of a real library of the system under our own names. Names are
// unique per process, as ctest runs these tests in parallel and one copy lies
// beside the program, outside the scratch machine.
class ModulesTest : public systest::CMachineTest {
protected:
    void SetUp() override
    {
        if (kZlib.empty())
            GTEST_SKIP() << "no libz.so.1 to copy";
        static int s_nCount = 0;
        m_sStem = "vzip" + std::to_string(getpid()) + "n" + std::to_string(++s_nCount);
    }
    ~ModulesTest() override
    {
        std::error_code ignored;
        fs::remove(m_sBeside, ignored);
    }

    std::string Place(const std::string& folder)
    {
        fs::create_directories(folder);
        const std::string path = folder + "/lib" + m_sStem + ".so";
        fs::copy_file(kZlib, path, fs::copy_options::overwrite_existing);
        return path;
    }
    std::u16string Dll(const char* suffix = ".dll") const { return pal::FromUtf8(m_sStem + suffix); }

    std::string m_sStem, m_sBeside;
};

std::string FileNameOf(HMODULE module)
{
    WCHAR path[MAX_PATH] = {};
    EXPECT_GT(GetModuleFileNameW(module, path, MAX_PATH), 0u);
    return pal::ToUtf8(path);
}

void ExpectError(DWORD expected) { EXPECT_EQ(GetLastError(), expected); }

TEST_F(ModulesTest, SearchesBesideTheCallerThenTheSystemFolderThenTheLoader)
{
    const std::string onLoaderPath = Place(m_oMachine.Path("ld"));
    EXPECT_EQ(LoadLibraryW(Dll().c_str()), nullptr);
    ExpectError(ERROR_MOD_NOT_FOUND);
    const testkit::ProcessResult child = testkit::RunProcess(
        {testkit::SelfPath()},
        {{kRole, "loadlibrary"}, {kArgument, m_sStem + ".dll"},
         {"LD_LIBRARY_PATH", m_oMachine.Path("ld")}});
    EXPECT_EQ(child.out, onLoaderPath) << child.err;

    const std::string inSystem = Place(m_oMachine.SystemDir());
    HMODULE module = LoadLibraryW(Dll().c_str());
    EXPECT_EQ(FileNameOf(module), inSystem);
    const auto version = systest::FunctionCast<ZlibVersionFn>(GetProcAddress(module, "zlibVersion"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(std::string(version()).substr(0, 2), "1.");
    for (const char* suffix : {".DLL", "", "."})
        EXPECT_EQ(LoadLibraryW(Dll(suffix).c_str()), module) << suffix;
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(FreeLibrary(module));

    m_sBeside = Place(fs::path(testkit::SelfPath()).parent_path().string());
    module = LoadLibraryW(Dll().c_str());
    EXPECT_EQ(FileNameOf(module), m_sBeside);
    EXPECT_TRUE(FreeLibrary(module));

    // A name with a folder loads only from there.
    const std::u16string path = pal::FromUtf8(m_oMachine.Path("Program Files/vendor")) + u"\\" + Dll();
    EXPECT_EQ(LoadLibraryW(path.c_str()), nullptr);
    ExpectError(ERROR_MOD_NOT_FOUND);
    const std::string inFolder = Place(m_oMachine.Path("Program Files/vendor"));
    module = LoadLibraryW(path.c_str());
    EXPECT_EQ(FileNameOf(module), inFolder);
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(ModulesTest, FailuresSayWhyAndStaleHandlesAreRefused)
{
    Place(m_oMachine.SystemDir());
    const HMODULE module = LoadLibraryW(Dll().c_str());
    EXPECT_EQ(LoadLibraryW(Dll().c_str()), module);
    EXPECT_EQ(GetProcAddress(module, "noSuchFunction"), nullptr);
    ExpectError(ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(GetProcAddress(module, reinterpret_cast<LPCSTR>(1)), nullptr) << "ordinal";
    ExpectError(ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(GetProcAddress(reinterpret_cast<HMODULE>(0x1234), "zlibVersion"), nullptr);
    ExpectError(ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
    ExpectError(ERROR_INVALID_PARAMETER);

    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_NE(GetProcAddress(module, "zlibVersion"), nullptr) << "one load is left";
    EXPECT_TRUE(FreeLibrary(module));
    for (const HMODULE stale : {module, HMODULE(nullptr), reinterpret_cast<HMODULE>(0x1234)}) {
        EXPECT_FALSE(FreeLibrary(stale));
        ExpectError(ERROR_INVALID_HANDLE);
    }
}

TEST(ProgramNameTest, BaseNameIsTheStartedNameCutWithoutTerminator)
{
    const std::u16string name = fs::path(program_invocation_name).filename().u16string();
    std::u16string buffer(MAX_PATH, u'#');
    EXPECT_EQ(GetModuleBaseNameW(GetCurrentProcess(), nullptr, buffer.data(), 3), 3u);
    EXPECT_EQ(buffer.substr(0, 4), name.substr(0, 3) + u'#');
    EXPECT_EQ(GetModuleBaseNameW(reinterpret_cast<HANDLE>(0x100), nullptr, buffer.data(), MAX_PATH), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    testkit::CScratchMachine machine;
    const std::string link = machine.Path("my.service.exe");
    fs::create_symlink(testkit::SelfPath(), link);
    const testkit::ProcessResult child = testkit::RunProcess({link}, {{kRole, "basename"}});
    EXPECT_EQ(child.out, "my.service.exe") << child.err;
}

}  // namespace
