// pal's system family: version, folders and debug output (terminal services
// are checked through the library's session tests of the capture suite);
// modules with the built-in kernel32; vectored exceptions and thread naming.
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "common/TestMachine.h"
#include "pal/windows.h"

namespace {

namespace fs = std::filesystem;

// Through void(*)(), which -Wcast-function-type lets pass.
template <class F>
F FunctionCast(FARPROC address)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(address));
}

// A refused call: no answer, and the reason in the last error.
template <class T>
void ExpectRefused(T answer, DWORD error)
{
    EXPECT_EQ(answer, nullptr);
    EXPECT_EQ(GetLastError(), error);
}

// Every setting starts at its default, whatever the environment of the run says.
class CMachineTest : public testkit::MachineTest {
protected:
    CMachineTest()
    {
        for (const char* name : {"VESK_WINVER", "VESK_ARCH", "VESK_SYSTEMX86_DIR", "VESK_DEBUG_OUTPUT",
                                 "VESK_DEBUGGER", "VESK_KERNEL32_MISSING", "VESK_RDP_SESSION"})
            pal::SetSetting(name, "");
    }
};

using SystemInfoTest = CMachineTest;

BOOL QueryVersion(DWORD size, OSVERSIONINFOEXW& info)
{
    info = OSVERSIONINFOEXW{};
    info.dwOSVersionInfoSize = size;
    info.dwMajorVersion = 0xDEAD;
    SetLastError(ERROR_SUCCESS);
    return GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&info));
}

TEST_F(SystemInfoTest, VersionFillsBothRecordSizesFromTheSettingReadAfresh)
{
    const struct { const char* setting; DWORD size; const char* dotted; } cases[] = {
        {"", sizeof(OSVERSIONINFOW), "6.1.7601"},
        {"10.0.19045", sizeof(OSVERSIONINFOEXW), "10.0.19045"},
        {"5.0", sizeof(OSVERSIONINFOEXW), "5.0.0"},
    };
    OSVERSIONINFOEXW info;
    for (const auto& c : cases) {
        pal::SetSetting("VESK_WINVER", c.setting);
        ASSERT_TRUE(QueryVersion(c.size, info)) << c.setting;
        EXPECT_EQ(std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) +
                      "." + std::to_string(info.dwBuildNumber), c.dotted);
        EXPECT_EQ(info.dwPlatformId, 2u);
        EXPECT_EQ(info.wProductType, c.size == sizeof info ? VER_NT_WORKSTATION : 0) << c.setting;
    }
    for (const DWORD size : {0u, 148u, 275u, 277u, 285u}) {
        EXPECT_FALSE(QueryVersion(size, info)) << size;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << size;
        EXPECT_EQ(info.dwMajorVersion, 0xDEADu) << size;
    }
    for (const char* text : {"6", "6.", "6..1", "6.1.2.3", "a.b", "6.1x", " 6.1", "-1", "4294967296.0"}) {
        pal::SetSetting("VESK_WINVER", text);
        EXPECT_FALSE(QueryVersion(sizeof info, info)) << text;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << text;
    }
}

TEST_F(SystemInfoTest, SystemDirectoryFollowsTheWin32SizeRules)
{
    const std::u16string expected = pal::FromUtf8(m_machine.SystemDir());
    const UINT length = static_cast<UINT>(expected.size());
    std::u16string buffer(length + 1, u'#');
    EXPECT_EQ(GetSystemDirectoryW(nullptr, 0), length + 1);
    EXPECT_EQ(GetSystemDirectoryW(buffer.data(), length), length + 1) << "no room for the terminator";
    EXPECT_EQ(buffer[0], u'#');
    EXPECT_EQ(GetSystemDirectoryW(buffer.data(), length + 1), length);
    EXPECT_EQ(buffer, expected + u'\0');
}

TEST_F(SystemInfoTest, DebugOutputReachesStandardErrorOnlyWhenAsked)
{
    ::testing::internal::CaptureStderr();
    OutputDebugStringW(u"dropped\n");
    pal::SetSetting("VESK_DEBUG_OUTPUT", "1");
    OutputDebugStringW(u"caf\u00e9 line");
    OutputDebugStringW(nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "caf\xc3\xa9 line\n");
}

// As the library binds them: its own types, resolved at run time.
typedef void(WINAPI* GetNativeSystemInfoFn)(LPSYSTEM_INFO);
typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE, PBOOL);

using Kernel32Test = CMachineTest;

// One built-in module, never unloaded, that follows the architecture setting
// and loses the functions listed as missing.
TEST_F(Kernel32Test, IsOneBuiltInModuleThatFollowsTheArchitecture)
{
    const HMODULE module = LoadLibraryW(u"kernel32.dll");
    ASSERT_NE(module, nullptr);
    for (const char16_t* name : {u"KERNEL32.DLL", u"Kernel32"})
        EXPECT_EQ(LoadLibraryW(name), module);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(FreeLibrary(module)) << "never unloaded";

    const auto bind = [module](const char* name) { return GetProcAddress(module, name); };
    const auto systemInfo = FunctionCast<GetNativeSystemInfoFn>(bind("GetNativeSystemInfo"));
    const auto isWow64 = FunctionCast<IsWow64ProcessFn>(bind("IsWow64Process"));
    ASSERT_TRUE(systemInfo && isWow64);
    const std::tuple<const char*, WORD, BOOL> cases[] = {
        {"", PROCESSOR_ARCHITECTURE_AMD64, TRUE},     {"x64", PROCESSOR_ARCHITECTURE_AMD64, TRUE},
        {"IA64", PROCESSOR_ARCHITECTURE_IA64, TRUE},  {"x86", PROCESSOR_ARCHITECTURE_INTEL, FALSE},
        {"arm", PROCESSOR_ARCHITECTURE_UNKNOWN, FALSE},
    };
    for (const auto& [arch, architecture, wow64] : cases) {
        pal::SetSetting("VESK_ARCH", arch);
        SYSTEM_INFO info{};
        systemInfo(&info);
        EXPECT_EQ(info.wProcessorArchitecture, architecture) << arch;
        BOOL answer = 7;
        EXPECT_TRUE(isWow64(GetCurrentProcess(), &answer));
        EXPECT_EQ(answer, wow64) << arch;
    }

    pal::SetSetting("VESK_KERNEL32_MISSING", "IsWow64Process, AddVectoredExceptionHandler");
    for (const char* name :
         {"IsWow64Process", "AddVectoredExceptionHandler", "isWow64Process", "GetVersionExW"}) {
        SCOPED_TRACE(name);
        SetLastError(ERROR_SUCCESS);
        ExpectRefused(bind(name), ERROR_PROC_NOT_FOUND);
    }
    EXPECT_NE(bind("GetNativeSystemInfo"), nullptr);
    EXPECT_NE(bind("RemoveVectoredExceptionHandler"), nullptr);
}

typedef const char* (*ZlibVersionFn)();

// Started with this variable set, the program plays a child loading the
// library it names, chosen before main so that gtest never starts: it prints
// the file it loaded.
constexpr const char* kLoad = "SYSTEM_TESTS_LOAD";

[[maybe_unused]] const bool g_bChild = [] {
    const char* name = std::getenv(kLoad);
    if (!name)
        return false;
    WCHAR text[MAX_PATH] = {};
    const HMODULE module = LoadLibraryW(pal::FromUtf8(name).c_str());
    const bool ok = module && GetModuleFileNameW(module, text, MAX_PATH) != 0;
    std::printf("%s", ok ? pal::ToUtf8(text).c_str() : ("error " + std::to_string(GetLastError())).c_str());
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
class ModulesTest : public CMachineTest {
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


TEST_F(ModulesTest, SearchesBesideTheCallerThenTheSystemFolderThenTheLoader)
{
    const std::string onLoaderPath = Place(m_machine.Path("ld"));
    ExpectRefused(LoadLibraryW(Dll().c_str()), ERROR_MOD_NOT_FOUND);
    const testkit::ProcessResult child = testkit::RunProcess(
        {testkit::SelfPath()}, {{kLoad, m_sStem + ".dll"}, {"LD_LIBRARY_PATH", m_machine.Path("ld")}});
    EXPECT_EQ(child.out, onLoaderPath) << child.err;

    const std::string inSystem = Place(m_machine.SystemDir());
    HMODULE module = LoadLibraryW(Dll().c_str());
    EXPECT_EQ(FileNameOf(module), inSystem);
    const auto version = FunctionCast<ZlibVersionFn>(GetProcAddress(module, "zlibVersion"));
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
    const std::u16string path = pal::FromUtf8(m_machine.Path("Program Files/vendor")) + u"\\" + Dll();
    ExpectRefused(LoadLibraryW(path.c_str()), ERROR_MOD_NOT_FOUND);
    const std::string inFolder = Place(m_machine.Path("Program Files/vendor"));
    module = LoadLibraryW(path.c_str());
    EXPECT_EQ(FileNameOf(module), inFolder);
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(ModulesTest, FailuresSayWhyAndStaleHandlesAreRefused)
{
    Place(m_machine.SystemDir());
    const HMODULE module = LoadLibraryW(Dll().c_str());
    EXPECT_EQ(LoadLibraryW(Dll().c_str()), module);
    ExpectRefused(GetProcAddress(module, "noSuchFunction"), ERROR_PROC_NOT_FOUND);
    ExpectRefused(GetProcAddress(module, reinterpret_cast<LPCSTR>(1)), ERROR_PROC_NOT_FOUND);  // an ordinal
    ExpectRefused(GetProcAddress(reinterpret_cast<HMODULE>(0x1234), "zlibVersion"), ERROR_MOD_NOT_FOUND);
    ExpectRefused(LoadLibraryW(nullptr), ERROR_INVALID_PARAMETER);

    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_NE(GetProcAddress(module, "zlibVersion"), nullptr) << "one load is left";
    EXPECT_TRUE(FreeLibrary(module));
    for (const HMODULE stale : {module, HMODULE(nullptr), reinterpret_cast<HMODULE>(0x1234)}) {
        EXPECT_FALSE(FreeLibrary(stale));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

// The name a process was started under, through a link, is checked by the
// logger's LoggerTest.FileAndMutexAreNamedAfterTheProcess.
TEST(ProgramNameTest, BaseNameIsTheStartedNameCutWithoutTerminator)
{
    const std::u16string name = fs::path(program_invocation_name).filename().u16string();
    std::u16string buffer(MAX_PATH, u'#');
    EXPECT_EQ(GetModuleBaseNameW(GetCurrentProcess(), nullptr, buffer.data(), 3), 3u);
    EXPECT_EQ(buffer.substr(0, 4), name.substr(0, 3) + u'#');
    EXPECT_EQ(GetModuleBaseNameW(reinterpret_cast<HANDLE>(0x100), nullptr, buffer.data(), MAX_PATH), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

constexpr DWORD kThreadNaming = 0x406D1388;
constexpr DWORD kTestCode = 0xE0564B10;

// Handlers are plain functions, so what they see is global.
std::string g_sOrder;
EXCEPTION_RECORD g_oRecord;

template <char Mark, LONG Result>
LONG WINAPI Note(PEXCEPTION_POINTERS info)
{
    g_sOrder += Mark;
    g_oRecord = *info->ExceptionRecord;
    return Result;
}
const auto Search = Note<'s', EXCEPTION_CONTINUE_SEARCH>;
const auto Continue = Note<'c', EXCEPTION_CONTINUE_EXECUTION>;
const auto Never = Note<'n', EXCEPTION_CONTINUE_EXECUTION>;

// A handler added for the scope of a test.
std::unique_ptr<void, ULONG (*)(PVOID)> Scoped(PVECTORED_EXCEPTION_HANDLER handler, ULONG first = 0)
{
    return {AddVectoredExceptionHandler(first, handler), [](PVOID p) { return RemoveVectoredExceptionHandler(p); }};
}

class ExceptionsTest : public CMachineTest {
protected:
    ExceptionsTest() { g_sOrder.clear(); }
};

std::string OwnThreadName()
{
    char name[32] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    return name;
}

void RaiseThreadName(const char* name, DWORD threadId = static_cast<DWORD>(-1))
{
    const ULONG_PTR words[4] = {0x1000, reinterpret_cast<ULONG_PTR>(name), threadId, 0};
    RaiseException(kThreadNaming, 0, 4, words);
}

TEST_F(ExceptionsTest, HandlersRunInOrderUntilOneContinues)
{
    const auto second = Scoped(Search), third = Scoped(Continue), fourth = Scoped(Never), first = Scoped(Search, 1);
    const PVOID gone = AddVectoredExceptionHandler(1, Never);
    EXPECT_EQ(RemoveVectoredExceptionHandler(gone), 1u);
    EXPECT_EQ(RemoveVectoredExceptionHandler(gone), 0u) << "removal counts once";
    ULONG_PTR words[20];
    for (ULONG_PTR i = 0; i < 20; ++i)
        words[i] = i * 3;
    RaiseException(kTestCode, 0xF0, 20, words);
    EXPECT_EQ(g_sOrder, "ssc");
    EXPECT_EQ(g_oRecord.ExceptionCode, kTestCode);
    EXPECT_EQ(g_oRecord.ExceptionFlags, 0u) << "only the noncontinuable bit is kept";
    EXPECT_EQ(g_oRecord.NumberParameters, 15u);
    EXPECT_EQ(g_oRecord.ExceptionInformation[14], 42u);
}

TEST_F(ExceptionsTest, NamingNotificationNamesTheThreadItIsMeantFor)
{
    const auto naming = Scoped(Continue);
    std::string names;
    std::thread([&] {
        for (const char* name : {"capture", "a-thread-name-longer-than-fifteen",
                                 "abcdefghijklmn\xc3\xa9z"}) {  // cut before, not inside, the é
            RaiseThreadName(name);
            names += OwnThreadName() + "|";
        }
        // The record copied whole on a 64-bit build: three words, the thread
        // id in the low half of the third.
        const ULONG_PTR words[3] = {0xCCCCCCCC00001000ull, reinterpret_cast<ULONG_PTR>("sixty-four"),
                                    0x00000000FFFFFFFFull};
        RaiseException(kThreadNaming, 0, 3, words);
        names += OwnThreadName() + "|";
        RaiseThreadName("nobody", 0x7FFFFFF0);  // the id of no thread: ignored
        names += OwnThreadName() + "|";
        RaiseThreadName("by-id", GetCurrentThreadId());  // as the library names its capture thread
        names += OwnThreadName();
    }).join();
    EXPECT_EQ(names, "capture|a-thread-name-l|abcdefghijklmn|sixty-four|sixty-four|by-id");
}

TEST_F(ExceptionsTest, UnhandledExceptionsEndTheProcess)
{
    EXPECT_EXIT(RaiseException(0xE0564B01, 0, 0, nullptr), ::testing::KilledBySignal(SIGABRT),
                "unhandled exception 0xE0564B01");
    EXPECT_EXIT(((void)AddVectoredExceptionHandler(1, Continue),
                 RaiseException(0xE0564B02, EXCEPTION_NONCONTINUABLE, 0, nullptr)),
                ::testing::KilledBySignal(SIGABRT), "0xC0000025.*noncontinuable exception 0xE0564B02");
    // The debugger names the thread but leaves the notification to the
    // handlers: without a debugger it would end a Windows process too.
    EXPECT_EXIT(RaiseThreadName("doomed"), ::testing::KilledBySignal(SIGABRT), "0x406D1388");
}

}  // namespace
