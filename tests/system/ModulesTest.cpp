#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <list>

#include "SystemTestKit.h"

namespace {

namespace fs = std::filesystem;
using systest::Narrow;
using systest::Wide;

typedef const char* (*ZlibVersionFn)();

std::string SystemZlib()
{
    for (const char* dir : {"/lib/x86_64-linux-gnu", "/usr/lib/x86_64-linux-gnu", "/lib64", "/usr/lib"}) {
        if (fs::exists(std::string(dir) + "/libz.so.1"))
            return std::string(dir) + "/libz.so.1";
    }
    return std::string();
}

// Copies of a real library of the system under our own names. Names are
// unique per process, as ctest runs these tests in parallel and some copies
// lie beside the program.
class ModulesTest : public systest::CMachineTest {
protected:
    void SetUp() override
    {
        if (SystemZlib().empty())
            GTEST_SKIP() << "no libz.so.1 to copy";
        static int s_nCount = 0;
        m_sStem = "vzip" + std::to_string(getpid()) + "n" + std::to_string(++s_nCount);
    }
    ~ModulesTest() override
    {
        std::error_code ignored;
        for (const std::string& path : m_lsPlaced)
            fs::remove(path, ignored);
    }

    std::string Place(const std::string& folder, std::string fileName = "")
    {
        fs::create_directories(folder);
        m_lsPlaced.push_back(folder + "/" + (fileName.empty() ? "lib" + m_sStem + ".so" : fileName));
        fs::copy_file(SystemZlib(), m_lsPlaced.back(), fs::copy_options::overwrite_existing);
        return m_lsPlaced.back();
    }
    std::u16string Dll(const char* suffix = ".dll") const { return Wide(m_sStem + suffix); }

    std::string m_sStem;
    std::list<std::string> m_lsPlaced;
};

std::string FileNameOf(HMODULE module)
{
    WCHAR path[MAX_PATH] = {};
    EXPECT_GT(GetModuleFileNameW(module, path, MAX_PATH), 0u);
    return Narrow(path);
}

// The object is really zlib, and the handle really its base.
void ExpectZlib(HMODULE module)
{
    const auto version = systest::FunctionCast<ZlibVersionFn>(GetProcAddress(module, "zlibVersion"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(std::string(version()).substr(0, 2), "1.");
    EXPECT_EQ(pal::ModuleOfAddress(reinterpret_cast<const void*>(version)), module);
}

void ExpectError(DWORD expected) { EXPECT_EQ(GetLastError(), expected); }

TEST_F(ModulesTest, SearchesBesideTheCallerThenTheSystemFolderThenTheLoader)
{
    const std::string onLoaderPath = Place(m_oMachine.Path("ld"));
    EXPECT_EQ(LoadLibraryW(Dll().c_str()), nullptr);
    ExpectError(ERROR_MOD_NOT_FOUND);
    const testkit::ProcessResult child =
        systest::RunRole("loadlibrary", m_sStem + ".dll", {{"LD_LIBRARY_PATH", m_oMachine.Path("ld")}});
    EXPECT_EQ(child.out, onLoaderPath) << child.err;

    const std::string inSystem = Place(m_oMachine.SystemDir());
    HMODULE module = LoadLibraryW(Dll().c_str());
    EXPECT_EQ(FileNameOf(module), inSystem);
    ExpectZlib(module);
    EXPECT_TRUE(FreeLibrary(module));

    const std::string beside = Place(fs::path(testkit::SelfPath()).parent_path().string());
    module = LoadLibraryW(Dll().c_str());
    EXPECT_EQ(FileNameOf(module), beside);
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(ModulesTest, NamesMapAsWindowsReadsThem)
{
    std::string mixedCase = "lib" + m_sStem + ".so";
    mixedCase[3] = 'V';  // Windows file names ignore case
    Place(m_oMachine.SystemDir(), mixedCase);
    const HMODULE module = LoadLibraryW(Dll().c_str());
    ASSERT_NE(module, nullptr);
    for (const char* suffix : {".DLL", "", "."})
        EXPECT_EQ(LoadLibraryW(Dll(suffix).c_str()), module) << suffix;

    const std::string driver = Place(m_oMachine.SystemDir(), "lib" + m_sStem + ".drv.so");
    const HMODULE driverModule = LoadLibraryW(Dll(".drv").c_str());
    EXPECT_EQ(FileNameOf(driverModule), driver);
    EXPECT_TRUE(FreeLibrary(driverModule));
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(ModulesTest, NameWithFolderLoadsOnlyFromThere)
{
    Place(m_oMachine.SystemDir());
    const std::string folder = m_oMachine.Path("Program Files/vendor");
    fs::create_directories(folder);
    const std::u16string path = Wide(folder) + u"\\" + Dll();
    EXPECT_EQ(LoadLibraryW(path.c_str()), nullptr);
    ExpectError(ERROR_MOD_NOT_FOUND);

    const std::string inFolder = Place(folder);
    const HMODULE module = LoadLibraryW(path.c_str());
    EXPECT_EQ(FileNameOf(module), inFolder);
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(ModulesTest, ReferenceCountsRefuseStaleHandles)
{
    Place(m_oMachine.SystemDir());
    const HMODULE module = LoadLibraryW(Dll().c_str());
    EXPECT_EQ(LoadLibraryW(Dll().c_str()), module);
    EXPECT_TRUE(FreeLibrary(module));
    ExpectZlib(module);  // one load is left
    EXPECT_TRUE(FreeLibrary(module));
    for (const HMODULE stale : {module, HMODULE(nullptr), reinterpret_cast<HMODULE>(0x1234)}) {
        EXPECT_FALSE(FreeLibrary(stale));
        ExpectError(ERROR_INVALID_HANDLE);
    }
}

TEST_F(ModulesTest, FailuresSayWhy)
{
    Place(m_oMachine.SystemDir());
    const HMODULE module = LoadLibraryW(Dll().c_str());
    EXPECT_EQ(GetProcAddress(module, "noSuchFunction"), nullptr);
    ExpectError(ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(GetProcAddress(module, reinterpret_cast<LPCSTR>(1)), nullptr) << "ordinal";
    ExpectError(ERROR_PROC_NOT_FOUND);
    EXPECT_EQ(GetProcAddress(reinterpret_cast<HMODULE>(0x1234), "zlibVersion"), nullptr);
    ExpectError(ERROR_MOD_NOT_FOUND);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
    ExpectError(ERROR_INVALID_PARAMETER);
}

TEST_F(ModulesTest, ModulesLoadedOtherwiseAreKnownByTheirBase)
{
    const std::string path = Place(m_oMachine.Path("direct"));
    void* const library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const HMODULE module = pal::ModuleOfAddress(dlsym(library, "zlibVersion"));
    EXPECT_EQ(FileNameOf(module), path);
    ExpectZlib(module);
    EXPECT_FALSE(FreeLibrary(module)) << "not counted by LoadLibraryW";
    dlclose(library);
    EXPECT_EQ(FileNameOf(pal::ModuleOfAddress(reinterpret_cast<const void*>(&FileNameOf))),
              testkit::SelfPath());
}

}  // namespace
