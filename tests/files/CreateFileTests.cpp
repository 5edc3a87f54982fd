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

std::u16string Backslashed(const std::string& path)
{
    std::u16string wide = pal::FromUtf8(path);
    std::replace(wide.begin(), wide.end(), u'/', u'\\');
    return wide;
}

HANDLE Open(const std::u16string& path, DWORD access, DWORD creation, DWORD flags = 0)
{
    SetLastError(0xDEAD);
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, creation, flags, nullptr);
}

// Opens, checks the last error, reads the size and closes; -1 when it failed.
LONGLONG OpenedSize(const std::u16string& path, DWORD access, DWORD creation, DWORD flags, DWORD error)
{
    const HANDLE handle = Open(path, access, creation, flags);
    EXPECT_EQ(GetLastError(), error) << pal::ToUtf8(path);
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    LARGE_INTEGER size{};
    EXPECT_TRUE(GetFileSizeEx(handle, &size));
    EXPECT_TRUE(CloseHandle(handle));
    return size.QuadPart;
}

class CreateFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        mkdir(m_machine.Path("dir").c_str(), 0755);
        testkit::WriteFile(m_machine.Path("dir/file.txt"), "hello");
    }
    std::u16string PathOf(const std::string& relative) const { return Backslashed(m_machine.Path(relative)); }

    testkit::CScratchMachine m_machine;
};

TEST_F(CreateFileTest, FoldersOpenOnlyWithBackupSemanticsAndNeverForCreation)
{
    EXPECT_EQ(OpenedSize(PathOf("dir/file.txt"), 0, OPEN_EXISTING, kBackup, ERROR_SUCCESS), 5);
    EXPECT_EQ(OpenedSize(PathOf("dir"), 0, OPEN_EXISTING, kBackup, ERROR_SUCCESS), 0);
    EXPECT_EQ(OpenedSize(PathOf("dir"), GENERIC_READ, OPEN_ALWAYS, kBackup, ERROR_ALREADY_EXISTS), 0);
    EXPECT_EQ(OpenedSize(PathOf("dir"), 0, OPEN_EXISTING, 0, ERROR_ACCESS_DENIED), -1);
    EXPECT_EQ(OpenedSize(PathOf("dir"), 0, CREATE_NEW, kBackup, ERROR_FILE_EXISTS), -1);
    EXPECT_EQ(OpenedSize(PathOf("dir"), GENERIC_WRITE, CREATE_ALWAYS, kBackup, ERROR_ACCESS_DENIED), -1);

    const HANDLE handle = Open(PathOf("dir"), 0, OPEN_EXISTING, kBackup);
    EXPECT_TRUE(CloseHandle(handle));
    EXPECT_FALSE(CloseHandle(handle));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(CreateFileTest, MissingPathsTellFileFromFolder)
{
    const struct {
        std::u16string path;
        DWORD error;
    } cases[] = {
        {PathOf("dir/none.txt"), ERROR_FILE_NOT_FOUND},
        {pal::FromUtf8(m_machine.Path("dir/none.txt")), ERROR_FILE_NOT_FOUND},
        {PathOf("none/deeper/file.txt"), ERROR_PATH_NOT_FOUND},
        {PathOf("dir/file.txt/inside"), ERROR_PATH_NOT_FOUND},
        {u"", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OpenedSize(c.path, 0, OPEN_EXISTING, kBackup, c.error), -1);
        EXPECT_EQ(GetFileAttributesW(c.path.c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetLastError(), c.error) << pal::ToUtf8(c.path);
    }
    EXPECT_EQ(OpenedSize(PathOf("none/new.txt"), GENERIC_WRITE, CREATE_NEW, 0, ERROR_PATH_NOT_FOUND), -1);
    EXPECT_EQ(CreateFileW(nullptr, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
}

TEST_F(CreateFileTest, DispositionsCreateOpenAndTruncateAsWindowsDoes)
{
    const std::u16string file = PathOf("dir/file.txt"), fresh = PathOf("dir/new.txt");
    EXPECT_EQ(OpenedSize(fresh, 0, OPEN_ALWAYS, 0, ERROR_SUCCESS), 0);  // the logger's open
    EXPECT_EQ(OpenedSize(fresh, GENERIC_WRITE, CREATE_NEW, 0, ERROR_FILE_EXISTS), -1);
    unlink(m_machine.Path("dir/new.txt").c_str());
    EXPECT_EQ(OpenedSize(fresh, GENERIC_ALL, CREATE_ALWAYS, 0, ERROR_SUCCESS), 0);
    EXPECT_EQ(OpenedSize(file, GENERIC_READ, OPEN_ALWAYS, 0, ERROR_ALREADY_EXISTS), 5);
    EXPECT_EQ(OpenedSize(file, GENERIC_READ, TRUNCATE_EXISTING, 0, ERROR_INVALID_PARAMETER), -1);
    EXPECT_EQ(OpenedSize(file, GENERIC_READ, 0, 0, ERROR_INVALID_PARAMETER), -1);
    EXPECT_EQ(OpenedSize(file, GENERIC_WRITE, TRUNCATE_EXISTING, 0, ERROR_SUCCESS), 0);
    testkit::WriteFile(m_machine.Path("dir/file.txt"), "hello");
    EXPECT_EQ(OpenedSize(file, 0, CREATE_ALWAYS, 0, ERROR_ALREADY_EXISTS), 0);

    // The access asked for is the access granted.
    const HANDLE reader = Open(fresh, GENERIC_READ, OPEN_EXISTING);
    const HANDLE writer = Open(fresh, GENERIC_WRITE, OPEN_EXISTING);
    EXPECT_LT(write(pal::FindHandleOf<pal::CFileObject>(reader)->Fd(), "x", 1), 0);
    EXPECT_EQ(write(pal::FindHandleOf<pal::CFileObject>(writer)->Fd(), "x", 1), 1);
    CloseHandle(reader);
    CloseHandle(writer);
}

TEST_F(CreateFileTest, AttributesAndSizes)
{
    const std::string file = m_machine.Path("dir/file.txt");
    EXPECT_EQ(GetFileAttributesW(PathOf("dir").c_str()), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesW(Backslashed(file).c_str()), FILE_ATTRIBUTE_NORMAL);
    chmod(file.c_str(), 0444);
    EXPECT_EQ(GetFileAttributesW(Backslashed(file).c_str()), FILE_ATTRIBUTE_READONLY);

    const HANDLE handle = Open(Backslashed(file), GENERIC_READ, OPEN_EXISTING);
    DWORD high = 99;
    EXPECT_EQ(GetFileSize(handle, &high), 5u);
    EXPECT_EQ(high, 0u);
    CloseHandle(handle);
    EXPECT_EQ(GetFileSize(handle, &high), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
