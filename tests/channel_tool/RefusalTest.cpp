// How vesk-channel turns things away: a refused message exits 1 with the
// reason, bad arguments 2, files and pictures it cannot use 3.
#include <gtest/gtest.h>

#include <filesystem>

#include "ChannelKit.h"
#include "channel/ChannelFault.h"

namespace channeltest {
namespace {

const auto npos = std::string::npos;

// An image event of nWidth x nHeight announced, followed by `stream`.
std::string _Image(uint32_t nWidth, uint32_t nHeight, const std::string& stream)
{
    return CHeader()
               .Set(CHeader::kCmd, 5501)
               .Set(CHeader::kWidth, nWidth)
               .Set(CHeader::kHeight, nHeight)
               .Bytes() +
           stream;
}

std::string _Refused(const CHeader& header) { return Seal(header.Bytes()); }

TEST_F(ChannelToolTest, EachRefusalExitsOneWithItsReason)
{
    const std::string valid = Seal(CHeader().Bytes());
    std::string longer = valid;
    StoreLE32(reinterpret_cast<uint8_t*>(&longer[0]), static_cast<uint32_t>(valid.size() - 7));
    std::string flipped = valid;
    flipped[8] ^= 0x04;
    CMyByteArray stream;
    ASSERT_TRUE(CVCData::Compress(CMyByteArray(64), stream));
    const std::string grey = String(stream);
    const struct {
        std::string m_sEnvelope;
        EChannelFault m_eFault;
    } cases[] = {
        {"", EChannelFault::Empty},
        {valid.substr(0, 19), EChannelFault::TooShort},
        {longer, EChannelFault::LengthField},
        {flipped, EChannelFault::Integrity},
        {Seal(std::string(31, '\1')), EChannelFault::TooShort},
        {_Refused(CHeader().Set(CHeader::kLength, 28)), EChannelFault::HeaderLength},
        {_Refused(CHeader().Set(CHeader::kEncrypted, 0)), EChannelFault::EncryptedFlag},
        {_Refused(CHeader().Set(CHeader::kCompressed, 2)), EChannelFault::CompressedFlag},
        {_Refused(CHeader().Set(CHeader::kCmd, 0)), EChannelFault::NoCommand},
        {_Refused(CHeader().Set(CHeader::kPid, 0)), EChannelFault::NoProcessId},
        {Seal(_Image(0, 8, grey)), EChannelFault::NoImage},
        {Seal(_Image(1000, 401, grey)), EChannelFault::TooLarge},
        {Seal(_Image(2, 3, "pixels")), EChannelFault::Inflation},
        {Seal(_Image(5, 13, grey)), EChannelFault::Inflation},  // the stream ends short
        {Seal(_Image(7, 9, grey)), EChannelFault::Inflation},   // and runs on
    };
    for (const auto& c : cases) {
        const std::string reason = DescribeChannelFault(c.m_eFault);
        testkit::WriteFile(Path("bad.bin"), c.m_sEnvelope);
        const auto open = Channel({"open", Path("bad.bin")});
        EXPECT_EQ(open.exitCode, 1) << reason;
        EXPECT_EQ(open.out, "") << reason;
        EXPECT_NE(open.err.find(reason), npos) << reason << ": " << open.err;
    }
    // The well-formed twin of the stream cases opens.
    testkit::WriteFile(Path("good.bin"), Seal(_Image(8, 8, grey)));
    EXPECT_EQ(Channel({"open", Path("good.bin")}).exitCode, 0);
}

TEST_F(ChannelToolTest, BadArgumentsExitTwoAndHelpZero)
{
    testkit::WriteFile(Path("p.pgm"), PatternPgm(4, 4));
    const std::string out = Path("out.bin");
    const std::vector<std::string> pid = {"seal", "--pid", "1"};
    const std::vector<std::vector<std::string>> cases = {
        {"frob"},
        {"open"},
        {"open", "a.bin", "b.bin"},
        {"open", "a.bin", "--image", "a.png"},
        {"open", "--raw", "a.bin"},
        {"seal", "--cmd", "128", out},
        {"seal", "--cmd", "128", "--pid", "0", out},
        With(pid, {out}),
        With(pid, {"--cmd", "128"}),
        With(pid, {"--cmd", "12ab", out}),
        With(pid, {"--cmd", "-5", out}),
        With(pid, {"--cmd", "0x100000000", out}),
        With(pid, {"--cmd", "128", "--seed", "4294967296", out}),
        With(pid, {"--cmd", "5501", out}),
        With(pid, {"--cmd", "128", "--image", Path("p.pgm"), out}),
    };
    for (const auto& args : cases) {
        const auto result = Channel(args);
        EXPECT_EQ(result.exitCode, 2) << args[args.size() - 2] << " " << args.back();
        EXPECT_EQ(result.err.rfind("ERROR: ", 0), 0u) << result.err;
        EXPECT_EQ(result.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(out));
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"seal", "-h"}}) {
        const auto help = Channel(args);
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_NE(help.out.find("vesk-channel seal [--cmd CODE] --pid PID"), npos);
    }
}

TEST_F(ChannelToolTest, UnusableFilesExitThreeNamingThem)
{
    testkit::WriteFile(Path("words.pgm"), "not a picture");
    testkit::WriteFile(Path("wide.pgm"), PatternPgm(1000, 401));
    testkit::WriteFile(Path("tiny.pgm"), PatternPgm(2, 2));
    const std::vector<std::string> seal = {"seal", "--pid", "2"};
    const struct {
        std::vector<std::string> m_vArgs;
        std::string m_sNamed;
    } cases[] = {
        {{"open", Path("missing.bin")}, "missing.bin"},
        {With(seal, {"--cmd", "128", Path("no/such/dir.bin")}), "no/such/dir.bin"},
        {With(seal, {"--image", Path("words.pgm"), Path("x.bin")}), "words.pgm"},
        {With(seal, {"--image", Path("wide.pgm"), Path("x.bin")}), "at most 400000"},
        {With(seal, {"--image", Path("tiny.pgm"), Path("x.bin")}), "tiny.pgm"},
    };
    for (const auto& c : cases) {
        const auto result = Channel(c.m_vArgs);
        EXPECT_EQ(result.exitCode, 3) << c.m_sNamed;
        EXPECT_NE(result.err.find(c.m_sNamed), npos) << result.err;
    }
}

}  // namespace
}  // namespace channeltest
