// What vesk-channel seals opens again with the same fields and pixels, in
// binary or hex, from files or the standard streams.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>

#include "ChannelKit.h"

namespace channeltest {
namespace {

const auto npos = std::string::npos;

uint32_t _Le32(const std::string& bytes, size_t nOffset)
{
    return LoadLE32(reinterpret_cast<const uint8_t*>(bytes.data()) + nOffset);
}

TEST_F(ChannelToolTest, HeaderOnlyMessagesShowTheirFields)
{
    const std::string sealed = Path("busy.bin");
    const auto seal = Channel({"seal", "--cmd", "4014", "--pid", "0x10", "--seed", "77", sealed});
    ASSERT_EQ(seal.exitCode, 0) << seal.err;
    const std::string envelope = testkit::ReadFile(sealed);
    EXPECT_EQ(Unseal(envelope), CHeader().Set(CHeader::kCmd, 4014).Set(CHeader::kPid, 16).Bytes());

    const auto open = Channel({"open", sealed});
    ASSERT_EQ(open.exitCode, 0) << open.err;
    EXPECT_EQ(Field(open.out, "envelope"), std::to_string(envelope.size()) + " bytes");
    EXPECT_EQ(Field(open.out, "ciphertext"), std::to_string(envelope.size() - 8) + " bytes");
    EXPECT_EQ(Field(open.out, "command"), "4014 (FS_EVENT_REMOTE_BUSY)");
    EXPECT_EQ(Field(open.out, "process id"), "16");
    EXPECT_EQ(Field(open.out, "width") + "x" + Field(open.out, "height"), "0x0");
    EXPECT_EQ(open.out.find("image stream"), npos);

    const CHeader odd = CHeader().Set(CHeader::kCmd, 4242).Set(CHeader::kReserved, 6);
    testkit::WriteFile(Path("odd.bin"), Seal(odd.Bytes() + "xyz"));
    const std::string oddOut = Channel({"open", Path("odd.bin")}).out;
    EXPECT_EQ(Field(oddOut, "command") + "/" + Field(oddOut, "reserved"), "4242/6");
    EXPECT_EQ(Field(oddOut, "ignored"), "3 bytes");

    const auto picture = Channel({"open", sealed, "--image", Path("busy.pgm")});
    EXPECT_EQ(picture.exitCode, 3);
    EXPECT_NE(picture.err.find("carries no image"), npos) << picture.err;
    EXPECT_FALSE(std::filesystem::exists(Path("busy.pgm")));
}

TEST_F(ChannelToolTest, PicturesRoundTripByteForByte)
{
    // An odd width gives the bitmap's rows filler bytes.
    const uint32_t nWidth = 13, nHeight = 9, nStride = 16;
    const std::string pgm = PatternPgm(nWidth, nHeight);
    const std::string pixels = pgm.substr(pgm.size() - nWidth * nHeight);
    testkit::WriteFile(Path("in.pgm"), pgm);
    const auto seal = Channel({"seal", "--image", Path("in.pgm"), "--pid", "7", "--seed", "5",
                               Path("pgm.bin")});
    ASSERT_EQ(seal.exitCode, 0) << seal.err;
    const std::string plain = Unseal(testkit::ReadFile(Path("pgm.bin")));
    CMyByteArray inflated(nWidth * nHeight);
    ASSERT_TRUE(CVCData::Uncompress(Array(plain.substr(32)), inflated));
    EXPECT_EQ(String(inflated), pixels) << "the greymap's rows in their order";

    const auto open = Channel({"open", Path("pgm.bin"), "--image", Path("out.pgm")});
    ASSERT_EQ(open.exitCode, 0) << open.err;
    EXPECT_EQ(testkit::ReadFile(Path("out.pgm")), pgm);
    EXPECT_EQ(Field(open.out, "command"), "5501 (FS_EVENT_IMAGE)");
    EXPECT_EQ(Field(open.out, "width") + "x" + Field(open.out, "height"), "13x9");
    EXPECT_EQ(Field(open.out, "image stream"), std::to_string(plain.size() - 32) + " bytes");

    ASSERT_EQ(Channel({"open", Path("pgm.bin"), "--image", Path("out.bmp")}).exitCode, 0);
    const std::string bmp = testkit::ReadFile(Path("out.bmp"));
    ASSERT_EQ(bmp.size(), 1078u + nStride * nHeight);
    EXPECT_EQ(_Le32(bmp, 22), nHeight) << "bottom-up";
    for (uint32_t nRow = 0; nRow < nHeight; ++nRow)
        EXPECT_EQ(bmp.substr(1078 + nStride * nRow, nStride),
                  pixels.substr(nWidth * nRow, nWidth) + std::string(3, '\0'));
    // The bitmap seals into the very message the greymap made.
    ASSERT_EQ(Channel({"seal", "--image", Path("out.bmp"), "--cmd", "5501", "--pid", "7",
                       "--seed", "5", Path("bmp.bin")}).exitCode, 0);
    EXPECT_EQ(testkit::ReadFile(Path("bmp.bin")), testkit::ReadFile(Path("pgm.bin")));
}

TEST_F(ChannelToolTest, FixedSeedsRepeatTheBytes)
{
    const std::vector<std::string> seal = {"seal", "--cmd", "129", "--pid", "3"};
    for (const char* pszName : {"a.bin", "b.bin"})
        ASSERT_EQ(Channel(With(seal, {"--seed", "0xFFFFFFFF", Path(pszName)})).exitCode, 0);
    for (const char* pszName : {"c.bin", "d.bin"})
        ASSERT_EQ(Channel(With(seal, {Path(pszName)})).exitCode, 0);
    const std::string fixed = testkit::ReadFile(Path("a.bin"));
    EXPECT_EQ(testkit::ReadFile(Path("b.bin")), fixed);
    EXPECT_EQ(_Le32(fixed, 4), 0xFFFFFFFFu);
    EXPECT_EQ(Field(Channel({"open", Path("a.bin")}).out, "seed"), "4294967295");
    EXPECT_NE(testkit::ReadFile(Path("c.bin")), testkit::ReadFile(Path("d.bin")));
}

TEST_F(ChannelToolTest, HexTextBothWaysAndThroughStandardStreams)
{
    const std::vector<std::string> seal = {"seal", "--cmd", "4018", "--pid", "5", "--seed", "9"};
    ASSERT_EQ(Channel(With(seal, {Path("m.bin")})).exitCode, 0);
    const std::string binary = testkit::ReadFile(Path("m.bin"));
    EXPECT_EQ(Channel(With(seal, {"-"})).out, binary);
    std::string hex;
    for (size_t i = 0; i < binary.size(); ++i) {
        char szByte[3];
        std::snprintf(szByte, sizeof szByte, "%02x", static_cast<unsigned char>(binary[i]));
        hex += szByte + std::string(i % 32 == 31 || i + 1 == binary.size() ? "\n" : "");
    }
    EXPECT_EQ(Channel(With(seal, {"--hex", "-"})).out, hex);

    const std::string expected = Channel({"open", Path("m.bin")}).out;
    EXPECT_EQ(Field(expected, "command"), "4018 (FS_EVENT_REMOTE_ABORTED)");
    EXPECT_EQ(Channel({"open", "-"}, binary).out, expected);
    std::string shouted;
    for (size_t i = 0; i < hex.size(); ++i)
        shouted += std::string(i % 7 == 3 ? " \r\n\t" : "") + char(std::toupper(hex[i]));
    EXPECT_EQ(Channel({"open", "--hex", "-"}, shouted).out, expected);
    testkit::WriteFile(Path("m.hex"), hex);
    EXPECT_EQ(Channel({"open", "--hex", Path("m.hex")}).out, expected);

    const auto odd = Channel({"open", "--hex", "-"}, hex.substr(1));
    EXPECT_EQ(odd.exitCode, 1);
    EXPECT_NE(odd.err.find("odd number of hex digits"), npos) << odd.err;
    const auto alien = Channel({"open", "--hex", Path("m.bin")});
    EXPECT_EQ(alien.exitCode, 1);
    EXPECT_NE(alien.err.find("is not a hex digit"), npos) << alien.err;
}

}  // namespace
}  // namespace channeltest
