#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/TestMachine.h"
#include "pal/files/files.h"
#include "pal/text/text.h"

namespace {

// Size and error as GetFileVersionInfoSizeW answers them.
std::pair<DWORD, DWORD> SizeOf(const std::string& path)
{
    DWORD handle = 123;
    const DWORD size = GetFileVersionInfoSizeW(pal::FromUtf8(path).c_str(), &handle);
    EXPECT_EQ(handle, 0u);
    return {size, size ? 0 : GetLastError()};
}

// The whole chain a caller runs: size, block, root query.
void ExpectStamp(const std::string& path, DWORD ms, DWORD ls, DWORD type)
{
    std::u16string wide = pal::FromUtf8(path);
    std::replace(wide.begin(), wide.end(), u'/', u'\\');
    std::vector<unsigned char> block(GetFileVersionInfoSizeW(wide.c_str(), nullptr));
    ASSERT_FALSE(block.empty()) << path << ": " << GetLastError();
    ASSERT_TRUE(GetFileVersionInfoW(wide.c_str(), 0, block.size(), block.data()));
    void* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), u"\\", &fixed, &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(static_cast<unsigned char*>(fixed), block.data() + 40);
    const DWORD expected[] = {VS_FFI_SIGNATURE, VS_FFI_STRUCVERSION, ms, ls, ms, ls,
                              VS_FFI_FILEFLAGSMASK, 0, VOS_NT_WINDOWS32, type, 0, 0, 0};
    EXPECT_EQ(std::memcmp(fixed, expected, sizeof expected), 0) << path;
}

class VersionInfoTest : public ::testing::Test {
protected:
    std::string Write(const std::string& bytes)
    {
        testkit::WriteFile(m_machine.Path("image.so"), bytes);
        return m_machine.Path("image.so");
    }
    testkit::CScratchMachine m_machine;
};

TEST_F(VersionInfoTest, StampedFilesAnswerTheirVersionWords)
{
    ExpectStamp(VESK_VERSIONED_SAMPLE, 0x00070007u, 0x0000003Cu, VFT_DLL);
    ExpectStamp(VESK_VERSIONED_PROGRAM, 0x000A0002u, 0x012CFFFFu, VFT_APP);
}

TEST_F(VersionInfoTest, FilesWithoutVersionFailWithTheirReason)
{
    const std::pair<std::string, DWORD> cases[] = {
        {testkit::SelfPath(), ERROR_RESOURCE_TYPE_NOT_FOUND},
        {Write("plain text, long enough to pass for an ELF header\n"), ERROR_BAD_FORMAT},
        {m_machine.Path("missing.so"), ERROR_FILE_NOT_FOUND},
        {m_machine.Path("missing/lib.so"), ERROR_PATH_NOT_FOUND},
        {m_machine.Root(), ERROR_ACCESS_DENIED},
        {"", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& [path, error] : cases)
        EXPECT_EQ(SizeOf(path), std::make_pair(DWORD{0}, error)) << path;
}

// Damaged copies of a stamped library fail with a reason and never read
// outside the file: every truncation, and hostile values in the fields that
// locate the sections.
TEST_F(VersionInfoTest, DamagedCopiesFailCleanly)
{
    const std::string whole = testkit::ReadFile(VESK_VERSIONED_SAMPLE);
    const std::string path = Write(whole);
    ASSERT_EQ(SizeOf(path).first, 92u);
    for (size_t cut = whole.size(); cut-- > 0;) {
        ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(cut)), 0);
        ASSERT_EQ(SizeOf(path), std::make_pair(DWORD{0}, DWORD{ERROR_BAD_FORMAT})) << "cut at " << cut;
    }

    ASSERT_EQ(whole[4], 2) << "a 64-bit ELF file";
    uint64_t table = 0;
    uint16_t count = 0;
    std::memcpy(&table, &whole[40], sizeof table);
    std::memcpy(&count, &whole[60], sizeof count);
    // Offset and width of the fields of the ELF header, then of a section header.
    const std::pair<size_t, size_t> header[] = {{40, 8}, {58, 2}, {60, 2}, {62, 2}};
    const std::pair<size_t, size_t> section[] = {{0, 4}, {4, 4}, {24, 8}, {32, 8}, {40, 4}};
    const uint64_t values[] = {0, 1, 8, 39, 0xFFFF, whole.size() - 8, whole.size(), ~0ull - 7, ~0ull};
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        std::string bytes = whole;
        const bool inHeader = rng() % 4 == 0;
        const auto [at, width] = inHeader ? header[rng() % 4] : section[rng() % 5];
        const size_t base = inHeader ? 0 : table + rng() % count * 64;
        const uint64_t value = values[rng() % std::size(values)];
        std::memcpy(&bytes[base + at], &value, width);  // little-endian, as ELF here
        const auto [size, error] = SizeOf(Write(bytes));
        if (size == 0) {
            EXPECT_TRUE(error == ERROR_BAD_FORMAT || error == ERROR_RESOURCE_TYPE_NOT_FOUND)
                << "field " << base + at << " = " << value << ": " << error;
        }
    }
}

}  // namespace
