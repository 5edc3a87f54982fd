#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ElfImage.h"
#include "common/TestMachine.h"
#include "pal/files/files.h"
#include "pal/text/text.h"

namespace {

// The stamped samples are built beside the library unless the build names them.
#ifndef VESK_VERSIONED_SAMPLE
std::string Sample(const char* name)
{
    const std::filesystem::path tests = std::filesystem::path(testkit::SelfPath()).parent_path();
    return (tests.parent_path() / "pal" / "files" / name).string();
}
#define VESK_VERSIONED_SAMPLE Sample("libvesk_pal_versioned_sample.so")
#define VESK_VERSIONED_PROGRAM Sample("vesk_pal_versioned_program")
#endif

// Size and error as GetFileVersionInfoSizeW answers them.
std::pair<DWORD, DWORD> SizeOf(const std::string& path)
{
    DWORD handle = 123;
    const DWORD size = GetFileVersionInfoSizeW(pal::FromUtf8(path).c_str(), &handle);
    EXPECT_EQ(handle, 0u);
    return {size, size ? 0 : GetLastError()};
}

// The whole chain a caller runs: size, block, root query.
bool ReadFixedInfo(const std::string& path, VS_FIXEDFILEINFO& info)
{
    std::u16string wide = pal::FromUtf8(path);
    std::replace(wide.begin(), wide.end(), u'/', u'\\');
    std::vector<unsigned char> block(GetFileVersionInfoSizeW(wide.c_str(), nullptr));
    void* fixed = nullptr;
    UINT length = 0;
    if (block.empty() || !GetFileVersionInfoW(wide.c_str(), 0, block.size(), block.data()) ||
        !VerQueryValueW(block.data(), u"\\", &fixed, &length) || length != sizeof info)
        return false;
    EXPECT_EQ(static_cast<unsigned char*>(fixed), block.data() + 40);
    std::memcpy(&info, fixed, sizeof info);
    return true;
}

void ExpectStamp(const std::string& path, DWORD ms, DWORD ls, DWORD type)
{
    VS_FIXEDFILEINFO info{};
    ASSERT_TRUE(ReadFixedInfo(path, info)) << path << ": " << GetLastError();
    const DWORD expected[] = {VS_FFI_SIGNATURE, VS_FFI_STRUCVERSION, ms, ls, ms, ls,
                              VS_FFI_FILEFLAGSMASK, 0, VOS_NT_WINDOWS32, type, 0, 0, 0};
    EXPECT_EQ(std::memcmp(&info, expected, sizeof info), 0) << path;
}

class VersionInfoTest : public ::testing::Test {
protected:
    std::string Write(const std::string& bytes, const std::string& name = "image.so")
    {
        testkit::WriteFile(m_machine.Path(name), bytes);
        return m_machine.Path(name);
    }
    testkit::CScratchMachine m_machine;
};

TEST_F(VersionInfoTest, StampedFilesAnswerTheirVersionWords)
{
    ExpectStamp(VESK_VERSIONED_SAMPLE, 0x00070007u, 0x0000003Cu, VFT_DLL);
    ExpectStamp(VESK_VERSIONED_PROGRAM, 0x000A0002u, 0x012CFFFFu, VFT_APP);
    for (bool wide : {false, true})
        ExpectStamp(Write(testelf::CElfImage(wide, ".vesk_version", testelf::VersionBlock(1, 2, 0)).bytes),
                    1, 2, 0);
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

TEST_F(VersionInfoTest, QueriesStayInsideTheBlockAndCheckIt)
{
    const std::u16string library = pal::FromUtf8(VESK_VERSIONED_SAMPLE);
    void* value = nullptr;
    UINT length = 0;
    // A short buffer gets a cut block that the query refuses instead of overrunning.
    for (DWORD size : {6u, 60u, 91u, 92u}) {
        std::vector<unsigned char> block(size);
        ASSERT_TRUE(GetFileVersionInfoW(library.c_str(), 0, size, block.data()));
        EXPECT_EQ(VerQueryValueW(block.data(), u"\\", &value, &length), size == 92) << size;
    }
    std::vector<unsigned char> block(92);
    GetFileVersionInfoW(library.c_str(), 0, 92, block.data());
    EXPECT_FALSE(VerQueryValueW(block.data(), u"\\StringFileInfo\\040904b0\\FileVersion", &value, &length));
    for (size_t at : {2, 4, 6, 36, 40}) {  // value length, type, key, signature
        std::vector<unsigned char> damaged = block;
        damaged[at] ^= 0x10;
        EXPECT_FALSE(VerQueryValueW(damaged.data(), u"\\", &value, &length)) << at;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    }
}

TEST_F(VersionInfoTest, EveryTruncationOfAStampedLibraryFailsCleanly)
{
    const std::string whole = testkit::ReadFile(VESK_VERSIONED_SAMPLE);
    const std::string path = Write(whole);
    ASSERT_EQ(SizeOf(path).first, 92u);
    for (size_t cut = whole.size(); cut-- > 0;) {
        ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(cut)), 0);
        ASSERT_EQ(SizeOf(path), std::make_pair(DWORD{0}, DWORD{ERROR_BAD_FORMAT})) << "cut at " << cut;
    }
}

class ElfClassTest : public VersionInfoTest, public ::testing::WithParamInterface<bool> {
protected:
    testelf::CElfImage Stamped() const
    {
        return testelf::CElfImage(GetParam(), ".vesk_version", testelf::VersionBlock(1, 2, VFT_DLL));
    }
};

TEST_P(ElfClassTest, ExtendedNumberingAndHostileFields)
{
    using namespace testelf;
    CElfImage extended = Stamped();
    extended.SetHeader(kCount, 0);
    extended.SetSection(kNull, kSize, kSections);
    extended.SetHeader(kNamesIndex, 0xFFFF);
    extended.SetSection(kNull, kLink, kNames);
    EXPECT_EQ(SizeOf(Write(extended.bytes)).first, 92u);

    const uint64_t huge = GetParam() ? ~0ull - 7 : 0xFFFFFFF8u, end = Stamped().bytes.size();
    const struct {
        int section;  // -1: a header field
        int field;
        uint64_t value;
        DWORD error;
    } damages[] = {
        {-1, kTableOffset, huge, ERROR_BAD_FORMAT},  {-1, kTableOffset, end - 8, ERROR_BAD_FORMAT},
        {-1, kEntrySize, 39, ERROR_BAD_FORMAT},      {-1, kCount, 0xFFFE, ERROR_BAD_FORMAT},
        {-1, kNamesIndex, kSections, ERROR_BAD_FORMAT}, {kNames, kOffset, huge, ERROR_BAD_FORMAT},
        {kNames, kSize, huge, ERROR_BAD_FORMAT},     {kNames, kType, 8, ERROR_BAD_FORMAT},
        {kPayload, kOffset, huge, ERROR_BAD_FORMAT}, {kPayload, kSize, end, ERROR_BAD_FORMAT},
        {kPayload, kSize, 0, ERROR_BAD_FORMAT},      {kPayload, kType, 8, ERROR_BAD_FORMAT},
        {kPayload, kName, 0xFFFFFFFF, ERROR_RESOURCE_TYPE_NOT_FOUND},
        {-1, kTableOffset, 0, ERROR_RESOURCE_TYPE_NOT_FOUND},  // stripped of section headers
    };
    for (const auto& d : damages) {
        CElfImage image = Stamped();
        if (d.section < 0)
            image.SetHeader(HeaderField(d.field), d.value);
        else
            image.SetSection(d.section, SectionField(d.field), d.value);
        EXPECT_EQ(SizeOf(Write(image.bytes)), std::make_pair(DWORD{0}, d.error))
            << "section " << d.section << " field " << d.field;
    }
    for (char byte : {'\3', '\2'}) {  // no such class; big-endian
        std::string bytes = Stamped().bytes;
        bytes[byte == '\3' ? 4 : 5] = byte;
        EXPECT_EQ(SizeOf(Write(bytes)).second, static_cast<DWORD>(ERROR_BAD_FORMAT));
    }
}

INSTANTIATE_TEST_SUITE_P(Classes, ElfClassTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Elf64" : "Elf32";
                         });

}  // namespace
