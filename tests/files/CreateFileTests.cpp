#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "common/TestMachine.h"
#include "pal/files/CFileObject.h"
#include "pal/files/files.h"
#include "pal/text/text.h"

namespace {

constexpr DWORD kBackup = FILE_FLAG_BACKUP_SEMANTICS;

class CreateFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mkdir(m_machine.Path("dir").c_str(), 0755);
        testkit::WriteFile(m_machine.Path("dir/file.txt"), "hello");
        testkit::WriteFile(m_machine.Path("dir/other.txt"), "hello");
    }

    std::u16string PathOf(const std::string& relative) const
    {
        std::u16string wide = pal::FromUtf8(m_machine.Path(relative));
        std::replace(wide.begin(), wide.end(), u'/', u'\\');
        return wide;
    }

    // Opens, checks the last error, reads the size and closes; -1 when it failed.
    LONGLONG OpenedSize(const std::string& relative, DWORD access, DWORD creation, DWORD flags,
                        DWORD error)
    {
        SetLastError(0xDEAD);
        const HANDLE handle = CreateFileW(PathOf(relative).c_str(), access, FILE_SHARE_READ, nullptr,
                                          creation, flags, nullptr);
        EXPECT_EQ(GetLastError(), error) << relative << " " << creation;
        if (handle == INVALID_HANDLE_VALUE)
            return -1;
        LARGE_INTEGER size{};
        EXPECT_TRUE(GetFileSizeEx(handle, &size));
        EXPECT_TRUE(CloseHandle(handle));
        return size.QuadPart;
    }

    testkit::CScratchMachine m_machine;
};

TEST_F(CreateFileTest, FilesAndFoldersOpenAsWindowsOpensThem)
{
    const struct {
        const char* path;
        DWORD access, creation, flags, error;
        LONGLONG size;
    } cases[] = {
        // Folders: only with backup semantics, never for creation.
        {"dir/file.txt", 0, OPEN_EXISTING, kBackup, ERROR_SUCCESS, 5},
        {"dir", 0, OPEN_EXISTING, kBackup, ERROR_SUCCESS, 0},
        {"dir", GENERIC_READ, OPEN_ALWAYS, kBackup, ERROR_ALREADY_EXISTS, 0},
        {"dir", 0, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED, -1},
        {"dir", 0, CREATE_NEW, kBackup, ERROR_FILE_EXISTS, -1},
        {"dir", GENERIC_WRITE, CREATE_ALWAYS, kBackup, ERROR_ACCESS_DENIED, -1},
        // Missing paths tell a missing file from a missing folder.
        {"dir/none.txt", 0, OPEN_EXISTING, kBackup, ERROR_FILE_NOT_FOUND, -1},
        {"none/deeper/file.txt", 0, OPEN_EXISTING, kBackup, ERROR_PATH_NOT_FOUND, -1},
        {"dir/file.txt/inside", 0, OPEN_EXISTING, 0, ERROR_PATH_NOT_FOUND, -1},
        {"none/new.txt", GENERIC_WRITE, CREATE_NEW, 0, ERROR_PATH_NOT_FOUND, -1},
        // Dispositions, in order: each sees what the one before left.
        {"dir/new.txt", 0, OPEN_ALWAYS, 0, ERROR_SUCCESS, 0},
        {"dir/new.txt", GENERIC_WRITE, CREATE_NEW, 0, ERROR_FILE_EXISTS, -1},
        {"dir/file.txt", GENERIC_READ, OPEN_ALWAYS, 0, ERROR_ALREADY_EXISTS, 5},
        {"dir/file.txt", GENERIC_READ, TRUNCATE_EXISTING, 0, ERROR_INVALID_PARAMETER, -1},
        {"dir/file.txt", GENERIC_READ, 0, 0, ERROR_INVALID_PARAMETER, -1},
        {"dir/file.txt", GENERIC_WRITE, CREATE_ALWAYS, 0, ERROR_ALREADY_EXISTS, 0},
        {"dir/other.txt", GENERIC_WRITE, TRUNCATE_EXISTING, 0, ERROR_SUCCESS, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OpenedSize(c.path, c.access, c.creation, c.flags, c.error), c.size) << c.path;
    EXPECT_EQ(CreateFileW(u"", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesW(PathOf("dir/none.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesW(PathOf("none/x").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(CreateFileTest, HandlesGrantWhatWasAskedAndFailOnceClosed)
{
    const std::u16string file = PathOf("dir/file.txt");
    const HANDLE reader = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    const HANDLE writer = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_LT(write(pal::FindHandleOf<pal::CFileObject>(reader)->Fd(), "x", 1), 0);
    EXPECT_EQ(write(pal::FindHandleOf<pal::CFileObject>(writer)->Fd(), "x", 1), 1);
    EXPECT_TRUE(CloseHandle(writer));
    EXPECT_TRUE(CloseHandle(reader));
    EXPECT_FALSE(CloseHandle(reader));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    LARGE_INTEGER size{};
    EXPECT_FALSE(GetFileSizeEx(reader, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    EXPECT_EQ(GetFileAttributesW(PathOf("dir").c_str()), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesW(file.c_str()), FILE_ATTRIBUTE_NORMAL);
    chmod(m_machine.Path("dir/file.txt").c_str(), 0444);
    EXPECT_EQ(GetFileAttributesW(file.c_str()), FILE_ATTRIBUTE_READONLY);
}

}  // namespace
