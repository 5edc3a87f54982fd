#include "SystemTestKit.h"

namespace {

// As the library binds them: its own types, resolved at run time.
typedef void(WINAPI* GetNativeSystemInfoFn)(LPSYSTEM_INFO);
typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE, PBOOL);

class Kernel32Test : public systest::CMachineTest {
protected:
    template <class F>
    F Bind(const char* name) const
    {
        return systest::FunctionCast<F>(GetProcAddress(m_hModule, name));
    }

    const HMODULE m_hModule = LoadLibraryW(u"kernel32.dll");
};

TEST_F(Kernel32Test, IsOneBuiltInModuleThatFollowsTheArchitecture)
{
    ASSERT_NE(m_hModule, nullptr);
    for (const char16_t* name : {u"KERNEL32.DLL", u"Kernel32"})
        EXPECT_EQ(LoadLibraryW(name), m_hModule);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(FreeLibrary(m_hModule)) << "never unloaded";

    const auto systemInfo = Bind<GetNativeSystemInfoFn>("GetNativeSystemInfo");
    const auto isWow64 = Bind<IsWow64ProcessFn>("IsWow64Process");
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
}

TEST_F(Kernel32Test, ListedFunctionsGoMissing)
{
    pal::SetSetting("VESK_KERNEL32_MISSING", "IsWow64Process, AddVectoredExceptionHandler");
    for (const char* name :
         {"IsWow64Process", "AddVectoredExceptionHandler", "isWow64Process", "GetVersionExW"}) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(GetProcAddress(m_hModule, name), nullptr) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND)) << name;
    }
    EXPECT_NE(GetProcAddress(m_hModule, "GetNativeSystemInfo"), nullptr);
    EXPECT_NE(GetProcAddress(m_hModule, "RemoveVectoredExceptionHandler"), nullptr);
}

}  // namespace
