#include <filesystem>

#include "SystemTestKit.h"

namespace {

TEST(ProgramNameTest, FileNameIsTheProgramCutTheWin32Way)
{
    const std::u16string path = systest::Wide(testkit::SelfPath());
    const DWORD length = static_cast<DWORD>(path.size());
    std::u16string buffer(length + 1, u'#');
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), length + 1), length);
    EXPECT_EQ(buffer, path + u'\0');

    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), length), length);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(buffer, path.substr(0, length - 1) + std::u16string(2, 0));
    EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(0x1234), buffer.data(), length), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(ProgramNameTest, BaseNameCutsWithoutTerminatorAndWantsThisProcess)
{
    const std::u16string name = std::filesystem::path(program_invocation_name).filename().u16string();
    std::u16string buffer(MAX_PATH, u'#');
    EXPECT_EQ(GetModuleBaseNameW(GetCurrentProcess(), nullptr, buffer.data(), MAX_PATH), name.size());
    EXPECT_EQ(buffer.c_str(), name);
    buffer.assign(MAX_PATH, u'#');
    EXPECT_EQ(GetModuleBaseNameW(GetCurrentProcess(), nullptr, buffer.data(), 3), 3u);
    EXPECT_EQ(buffer.substr(0, 4), name.substr(0, 3) + u'#');

    EXPECT_EQ(GetModuleBaseNameW(reinterpret_cast<HANDLE>(0x100), nullptr, buffer.data(), MAX_PATH), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(ProgramNameTest, BaseNameIsTheNameTheProgramWasStartedBy)
{
    testkit::CScratchMachine machine;
    const std::string link = machine.Path("my.service.exe");
    std::filesystem::create_symlink(testkit::SelfPath(), link);
    const testkit::ProcessResult child = systest::RunRole("basename", "", {}, link);
    EXPECT_EQ(child.out, "my.service.exe") << child.err;
}

}  // namespace
