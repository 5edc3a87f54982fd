// vesk-channel as a child process, and envelopes built in the test itself:
// what it seals opens again with the same fields and pixels, in binary or
// hex, from files or the standard streams; a refused message exits 1 with the
// reason, bad arguments 2, files and pictures it cannot use 3.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "channel/C3DESEncode.h"
#include "channel/CVCData.h"
#include "channel/ChannelFault.h"
#include "common/TestMachine.h"
#include "support/LittleEndian.h"

namespace {

const auto npos = std::string::npos;
using Args = std::vector<std::string>;

CMyByteArray Array(const std::string& bytes)
{
    CMyByteArray array(static_cast<uint32_t>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), array.GetData());
    return array;
}

std::string String(const CMyByteArray& array)
{
    return std::string(reinterpret_cast<const char*>(array.GetData()), array.GetSize());
}

uint32_t Le32(const std::string& bytes, size_t nOffset)
{
    return LoadLE32(reinterpret_cast<const uint8_t*>(bytes.data()) + nOffset);
}

// The value of the output line "name: value"; empty when there is none.
std::string Field(const std::string& out, const std::string& name)
{
    const std::string text = "\n" + out;
    const size_t nAt = text.find("\n" + name + ": ");
    if (nAt == npos)
        return std::string();
    const size_t nValue = nAt + name.size() + 3;
    return text.substr(nValue, text.find('\n', nValue) - nValue);
}

// A message's header fields in wire order; the defaults pass every check.
struct CHeader {
    uint32_t m_vFields[8] = {32, 1, 1, 128, 0, 0, 0, 9};
    enum { kLength, kEncrypted, kCompressed, kCmd, kReserved, kWidth, kHeight, kPid };

    CHeader& Set(int nField, uint32_t nValue)
    {
        m_vFields[nField] = nValue;
        return *this;
    }
    std::string Bytes() const
    {
        std::string bytes(32, '\0');
        for (size_t i = 0; i < 8; ++i)
            StoreLE32(reinterpret_cast<uint8_t*>(&bytes[4 * i]), m_vFields[i]);
        return bytes;
    }
};

// Any plaintext in a valid envelope, and the plaintext back out of one.
std::string Seal(const std::string& plain)
{
    CMyByteArray envelope;
    EXPECT_TRUE(C3DESEncode::SerializeWithSeed(Array(plain), envelope, 1));
    return String(envelope);
}

std::string Unseal(const std::string& envelope)
{
    CMyByteArray plain;
    EXPECT_TRUE(C3DESEncode::Deserialize(Array(envelope), plain));
    return String(plain);
}

// An image event of nWidth x nHeight announced, followed by `stream`.
std::string Image(uint32_t nWidth, uint32_t nHeight, const std::string& stream)
{
    CHeader header;
    header.Set(CHeader::kCmd, 5501).Set(CHeader::kWidth, nWidth).Set(CHeader::kHeight, nHeight);
    return header.Bytes() + stream;
}

// A binary greymap whose pixels differ from row to row and column to column.
std::string PatternPgm(uint32_t nWidth, uint32_t nHeight)
{
    std::string pgm = "P5\n" + std::to_string(nWidth) + " " + std::to_string(nHeight) + "\n255\n";
    for (uint32_t i = 0; i < nWidth * nHeight; ++i)
        pgm += static_cast<char>(i / nWidth * 16 + i % nWidth);
    return pgm;
}

Args With(Args args, std::initializer_list<std::string> more)
{
    args.insert(args.end(), more);
    return args;
}

class ChannelToolTest : public testkit::MachineTest {
protected:
    testkit::ProcessResult Channel(Args args, const std::string& input = std::string()) const
    {
        args.insert(args.begin(), VESK_CHANNEL_EXE);
        return testkit::RunProcess(args, {}, input);
    }
};

TEST_F(ChannelToolTest, HeaderOnlyMessagesInBinaryOrHexThroughFilesOrStandardStreams)
{
    const Args seal = {"seal", "--cmd", "4014", "--pid", "0x10", "--seed", "0xFFFFFFFF"};
    const auto sealed = Channel(With(seal, {Path("busy.bin")}));
    ASSERT_EQ(sealed.exitCode, 0) << sealed.err;
    const std::string envelope = testkit::ReadFile(Path("busy.bin"));
    EXPECT_EQ(Unseal(envelope), CHeader().Set(CHeader::kCmd, 4014).Set(CHeader::kPid, 16).Bytes());
    EXPECT_EQ(Le32(envelope, 4), 0xFFFFFFFFu);
    EXPECT_EQ(Channel(With(seal, {"-"})).out, envelope);
    std::string hex;
    for (size_t i = 0; i < envelope.size(); ++i) {
        char szByte[3];
        std::snprintf(szByte, sizeof szByte, "%02x", static_cast<unsigned char>(envelope[i]));
        hex += szByte + std::string(i % 32 == 31 || i + 1 == envelope.size() ? "\n" : "");
    }
    EXPECT_EQ(Channel(With(seal, {"--hex", "-"})).out, hex);
    // Without --seed every envelope has a fresh one.
    const Args fresh = {"seal", "--cmd", "4018", "--pid", "0x10", "-"};
    const std::string freshOut = Channel(fresh).out;
    EXPECT_NE(freshOut, Channel(fresh).out);
    EXPECT_EQ(Field(Channel({"open", "-"}, freshOut).out, "command"), "4018 (FS_EVENT_REMOTE_ABORTED)");

    const auto open = Channel({"open", Path("busy.bin")});
    ASSERT_EQ(open.exitCode, 0) << open.err;
    EXPECT_EQ(Field(open.out, "envelope"), std::to_string(envelope.size()) + " bytes");
    EXPECT_EQ(Field(open.out, "ciphertext"), std::to_string(envelope.size() - 8) + " bytes");
    EXPECT_EQ(Field(open.out, "command"), "4014 (FS_EVENT_REMOTE_BUSY)");
    EXPECT_EQ(Field(open.out, "process id"), "16");
    EXPECT_EQ(Field(open.out, "seed"), "4294967295");
    EXPECT_EQ(Field(open.out, "width") + "x" + Field(open.out, "height"), "0x0");
    EXPECT_EQ(open.out.find("image stream"), npos);
    EXPECT_EQ(Channel({"open", "-"}, envelope).out, open.out);
    std::string shouted;
    for (size_t i = 0; i < hex.size(); ++i)
        shouted += std::string(i % 7 == 3 ? " \r\n\t" : "") + char(std::toupper(hex[i]));
    EXPECT_EQ(Channel({"open", "--hex", "-"}, shouted).out, open.out);
    testkit::WriteFile(Path("m.hex"), hex);
    EXPECT_EQ(Channel({"open", "--hex", Path("m.hex")}).out, open.out);
    const auto oddDigits = Channel({"open", "--hex", "-"}, hex.substr(1));
    EXPECT_EQ(oddDigits.exitCode, 1);
    EXPECT_NE(oddDigits.err.find("odd number of hex digits"), npos) << oddDigits.err;
    const auto alien = Channel({"open", "--hex", Path("busy.bin")});
    EXPECT_EQ(alien.exitCode, 1);
    EXPECT_NE(alien.err.find("is not a hex digit"), npos) << alien.err;

    const CHeader odd = CHeader().Set(CHeader::kCmd, 4242).Set(CHeader::kReserved, 6);
    testkit::WriteFile(Path("odd.bin"), Seal(odd.Bytes() + "xyz"));
    const std::string oddOut = Channel({"open", Path("odd.bin")}).out;
    EXPECT_EQ(Field(oddOut, "command") + "/" + Field(oddOut, "reserved"), "4242/6");
    EXPECT_EQ(Field(oddOut, "ignored"), "3 bytes");

    const auto picture = Channel({"open", Path("busy.bin"), "--image", Path("busy.pgm")});
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
    const auto seal =
        Channel({"seal", "--image", Path("in.pgm"), "--pid", "7", "--seed", "5", Path("pgm.bin")});
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
    EXPECT_EQ(Le32(bmp, 22), nHeight) << "bottom-up";
    for (uint32_t nRow = 0; nRow < nHeight; ++nRow)
        EXPECT_EQ(bmp.substr(1078 + nStride * nRow, nStride),
                  pixels.substr(nWidth * nRow, nWidth) + std::string(3, '\0'));
    // The bitmap seals into the very message the greymap made.
    ASSERT_EQ(Channel({"seal", "--image", Path("out.bmp"), "--cmd", "5501", "--pid", "7", "--seed", "5",
                       Path("bmp.bin")}).exitCode,
              0);
    EXPECT_EQ(testkit::ReadFile(Path("bmp.bin")), testkit::ReadFile(Path("pgm.bin")));
}

// How vesk-channel turns things away: a refused message exits 1 with the
// library's reason (CVCData and C3DESEncode tests go through every reason;
// here one from the envelope and one from each part of the message reach the
// user), bad arguments 2, files and pictures it cannot use 3, naming them.
TEST_F(ChannelToolTest, EachRefusalHasItsExitStatusAndReason)
{
    CMyByteArray stream;
    ASSERT_TRUE(CVCData::Compress(CMyByteArray(64), stream));
    const std::string grey = String(stream);
    std::string longer = Seal(CHeader().Bytes());
    StoreLE32(reinterpret_cast<uint8_t*>(&longer[0]), static_cast<uint32_t>(longer.size() - 7));
    const std::pair<std::string, std::string> files[] = {
        {"empty.bin", ""},
        {"longer.bin", longer},
        {"nopid.bin", Seal(CHeader().Set(CHeader::kPid, 0).Bytes())},
        {"runs-on.bin", Seal(Image(7, 9, grey))},
        {"good.bin", Seal(Image(8, 8, grey))},  // the well-formed twin of runs-on.bin
        {"p.pgm", PatternPgm(4, 4)},
        {"words.pgm", "not a picture"},
        {"wide.pgm", PatternPgm(1000, 401)},
        {"tiny.pgm", PatternPgm(2, 2)},
    };
    for (const auto& [name, bytes] : files)
        testkit::WriteFile(Path(name), bytes);
    const auto refused = [](EChannelFault fault) {
        return "message refused: " + std::string(DescribeChannelFault(fault)) + ".";
    };
    const std::string out = Path("out.bin");
    const Args pid = {"seal", "--pid", "1"};
    const struct {
        Args args;
        int exitCode;
        std::string error;  // part of the line
    } cases[] = {
        {{"open", Path("empty.bin")}, 1, refused(EChannelFault::Empty)},
        {{"open", Path("longer.bin")}, 1, refused(EChannelFault::LengthField)},
        {{"open", Path("nopid.bin")}, 1, refused(EChannelFault::NoProcessId)},
        {{"open", Path("runs-on.bin")}, 1, refused(EChannelFault::Inflation)},
        {{"frob"}, 2, ""},
        {{"open"}, 2, ""},
        {{"open", "a.bin", "b.bin"}, 2, ""},
        {{"open", "a.bin", "--image", "a.png"}, 2, ""},
        {{"seal", "--cmd", "128", out}, 2, ""},
        {{"seal", "--cmd", "128", "--pid", "0", out}, 2, ""},
        {With(pid, {out}), 2, ""},
        {With(pid, {"--cmd", "128"}), 2, ""},
        {With(pid, {"--cmd", "12ab", out}), 2, ""},
        {With(pid, {"--cmd", "-5", out}), 2, ""},
        {With(pid, {"--cmd", "0x100000000", out}), 2, ""},
        {With(pid, {"--cmd", "128", "--seed", "4294967296", out}), 2, ""},
        {With(pid, {"--cmd", "5501", out}), 2, ""},
        {With(pid, {"--cmd", "128", "--image", Path("p.pgm"), out}), 2, ""},
        {{"open", Path("missing.bin")}, 3, "missing.bin"},
        {With(pid, {"--cmd", "128", Path("no/such/dir.bin")}), 3, "no/such/dir.bin"},
        {With(pid, {"--image", Path("words.pgm"), out}), 3, "words.pgm"},
        {With(pid, {"--image", Path("wide.pgm"), out}), 3, "at most 400000"},
        {With(pid, {"--image", Path("tiny.pgm"), out}), 3, "tiny.pgm"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        testkit::ExpectOneErrorLine(Channel(c.args), c.exitCode, c.error);
    }
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(Channel({"open", Path("good.bin")}).exitCode, 0);
    for (const Args& args : {Args{}, Args{"seal", "-h"}}) {
        const auto help = Channel(args);
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_NE(help.out.find("vesk-channel seal [--cmd CODE] --pid PID"), npos);
    }
}

}  // namespace
