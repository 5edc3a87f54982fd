#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <optional>
#include <vector>

#include "common/LogHooks.h"
#include "TestBytes.h"
#include "channel/C3DESEncode.h"
#include "channel/CVCData.h"

namespace {

using namespace testbytes;

constexpr uint32_t kWidth = 240;
constexpr uint32_t kHeight = 368;

// Header in wire order: length, encrypted, compressed, cmd, reserved,
// width, height, process ID.
struct SHeader { uint32_t nValues[8] = {32, 1, 1, 4012, 0, 0, 0, 4242}; };

CMyByteArray Plaintext(const SHeader& header, const CMyByteArray& tail = CMyByteArray())
{
    CMyByteArray plain(32);
    for (uint32_t i = 0; i < 8; ++i)
        PutLe32(plain, 4 * i, header.nValues[i]);
    return plain + tail;
}

CMyByteArray Seal(const CMyByteArray& plain)
{
    CMyByteArray envelope;
    EXPECT_TRUE(C3DESEncode::SerializeWithSeed(plain, envelope, 77));
    return envelope;
}

CMyByteArray Deflate(const CMyByteArray& raw)
{
    uLongf nLen = compressBound(raw.GetSize());
    CMyByteArray out(static_cast<uint32_t>(nLen));
    EXPECT_EQ(compress2(out.GetData(), &nLen, raw.GetData(), raw.GetSize(), 9), Z_OK);
    out.SetSize(static_cast<uint32_t>(nLen));
    return out;
}

// Ridges at a slant with a little deterministic noise, as a scanner shows.
CMyByteArray FingerprintLike(uint32_t nWidth, uint32_t nHeight)
{
    CMyByteArray pixels(nWidth * nHeight);
    uint32_t nNoise = 12345;
    for (uint32_t y = 0; y < nHeight; ++y)
        for (uint32_t x = 0; x < nWidth; ++x) {
            nNoise = nNoise * 1103515245u + 12345u;
            const int nRidge = static_cast<int>(6 * std::sin((x * 0.8 + y * 0.6) / 2.5));
            pixels.ElementAt(y * nWidth + x) =
                static_cast<uint8_t>(128 + 15 * nRidge + ((nNoise >> 16) % 8 == 0));
        }
    return pixels;
}

CVCData ImageMessage(const CMyByteArray& pixels, uint32_t nWidth, uint32_t nHeight)
{
    CVCData message;
    message.SetCmd(VC_IMAGE_EVENT);
    message.SetCallingProcessID(31337);
    EXPECT_TRUE(message.SetImage(pixels, nWidth, nHeight));
    return message;
}

TEST(CVCData, OnlyCompleteMessagesSerializeHeaderOnlyOnesAsTheirHeader)
{
    CMyByteArray envelope = Bytes(5);
    CVCData empty;
    EXPECT_FALSE(empty.Serialize(envelope));
    EXPECT_TRUE(envelope.IsEmpty());

    CVCData image;
    image.SetCmd(VC_IMAGE_EVENT);
    image.SetCallingProcessID(1);
    EXPECT_FALSE(image.Serialize(envelope)) << "image code without pixels";
    EXPECT_FALSE(image.SetImage(CMyByteArray(), 1, 1));
    EXPECT_FALSE(image.SetImage(Bytes(6), 0, 6));
    EXPECT_FALSE(image.SetImage(Bytes(6), 6, 0));
    EXPECT_FALSE(image.SetImage(Bytes(6), 2, 4));
    EXPECT_EQ(image.GetWidth(), 0u);

    // A single pixel's zlib stream is longer than twice its input.
    ASSERT_TRUE(image.SetImage(Bytes(1), 1, 1));
    EXPECT_FALSE(image.Serialize(envelope));

    // A header-only message is its header alone, in wire order.
    CVCData message;
    message.SetCmd(VC_CMD_GET_IMAGE);
    message.SetReserved(0xA5A5A5A5u);
    message.SetCallingProcessID(0x01020304);
    CMyByteArray plain;
    ASSERT_TRUE(message.Serialize(envelope));
    EXPECT_EQ(envelope.GetSize(), 64u);
    ASSERT_TRUE(C3DESEncode::Deserialize(envelope, plain));
    const SHeader expected{{32, 1, 1, VC_CMD_GET_IMAGE, 0xA5A5A5A5u, 0, 0, 0x01020304}};
    EXPECT_TRUE(Same(plain, Plaintext(expected)));
    // Reading a header back is the refusal test's (command and process) and the image round trip's.
    CVCData received;
    ASSERT_TRUE(received.Deserialize(envelope));
    EXPECT_EQ(received.GetReserved(), 0xA5A5A5A5u);
    EXPECT_TRUE(received.GetData().IsEmpty());
}

// Each field of the header is checked before anything is stored, and an
// image's announcement and stream before its pixels are.
TEST(CVCData, RefusedMessagesNameTheirFaultAndChangeNothing)
{
    const CMyByteArray pixels = FingerprintLike(20, 10), stream = Deflate(pixels), none;
    enum { kLength, kEncrypted, kCompressed, kCmd, kReserved, kWide, kHigh, kPid };  // header slots
    using Fields = std::vector<std::pair<int, uint32_t>>;  // changed from a valid header
    const auto Image = [](uint32_t nWidth, uint32_t nHeight) {
        return Fields{{kCmd, VC_IMAGE_EVENT}, {kWide, nWidth}, {kHigh, nHeight}};
    };
    CMyByteArray tampered = Seal(Plaintext(SHeader()));
    tampered.ElementAt(20) ^= 1;
    struct SCase {
        const char* pszName;
        Fields fields;
        CMyByteArray tail;
        EChannelFault eFault;
        std::optional<CMyByteArray> envelope = std::nullopt;  // instead of the header and tail sealed
    } cases[] = {
        {"empty", {}, none, EChannelFault::Empty, CMyByteArray()},
        {"shorter than a header", {}, none, EChannelFault::TooShort, Seal(Bytes(31, 1))},
        {"tampered", {}, none, EChannelFault::Integrity, tampered},
        {"header length 31", {{kLength, 31}}, none, EChannelFault::HeaderLength},
        {"header length 36", {{kLength, 36}}, none, EChannelFault::HeaderLength},
        {"not encrypted", {{kEncrypted, 0}}, none, EChannelFault::EncryptedFlag},
        {"encrypted 2", {{kEncrypted, 2}}, none, EChannelFault::EncryptedFlag},
        {"not compressed", {{kCompressed, 0}}, none, EChannelFault::CompressedFlag},
        {"no command", {{kCmd, 0}}, none, EChannelFault::NoCommand},
        {"no process", {{kPid, 0}}, none, EChannelFault::NoProcessId},
        {"zero width", Image(0, 10), stream, EChannelFault::NoImage},
        {"zero height", Image(20, 0), stream, EChannelFault::NoImage},
        {"above the bound", Image(1000, 401), stream, EChannelFault::TooLarge},
        {"product wraps to 0", Image(65536, 65536), stream, EChannelFault::TooLarge},
        {"product wraps small", Image(65537, 65537), stream, EChannelFault::TooLarge},
        {"inflates longer", Image(20, 9), stream, EChannelFault::Inflation},
        {"inflates shorter", Image(20, 11), stream, EChannelFault::Inflation},
        {"no stream", Image(20, 10), none, EChannelFault::Inflation},
        {"not zlib", Image(20, 10), Bytes(50), EChannelFault::Inflation},
    };
    const CMyByteArray previous = Bytes(7);
    for (const auto& c : cases) {
        SHeader header;
        for (const auto& [nSlot, nValue] : c.fields)
            header.nValues[nSlot] = nValue;
        CVCData received = ImageMessage(previous, 7, 1);
        received.SetCallingProcessID(99);
        EChannelFault eFault = EChannelFault::None;
        EXPECT_FALSE(received.Deserialize(c.envelope.value_or(Seal(Plaintext(header, c.tail))), &eFault)) << c.pszName;
        EXPECT_EQ(eFault, c.eFault) << c.pszName;
        EXPECT_TRUE(Same(received.GetData(), previous)) << c.pszName;
        if (c.fields.size() < 2) {  // an envelope or header row: not even the header is taken
            EXPECT_EQ(received.GetCallingProcessID(), 99u) << c.pszName;
        }
    }

    // Trailing bytes after a header-only message are not looked at.
    CVCData received;
    EChannelFault eFault = EChannelFault::Integrity;
    ASSERT_TRUE(received.Deserialize(Seal(Plaintext(SHeader(), Bytes(100))), &eFault));
    EXPECT_EQ(eFault, EChannelFault::None);
    EXPECT_EQ(received.GetCmd(), 4012u);
    EXPECT_EQ(received.GetCallingProcessID(), 4242u);
    EXPECT_TRUE(received.DeserializeHeader(Plaintext(SHeader(), Bytes(3))));
    EXPECT_FALSE(received.DeserializeHeader(Bytes(31)));

    // Exactly at the bound is still an image.
    SHeader header;
    header.nValues[kCmd] = VC_IMAGE_EVENT;
    header.nValues[kWide] = 1000;
    header.nValues[kHigh] = 400;
    const CMyByteArray large = FingerprintLike(1000, 400);
    ASSERT_TRUE(received.Deserialize(Seal(Plaintext(header, Deflate(large)))));
    EXPECT_TRUE(Same(received.GetData(), large));
}

TEST(CVCData, ScannerImageRoundTrip)
{
    const CMyByteArray pixels = FingerprintLike(kWidth, kHeight);
    const CVCData sent = ImageMessage(pixels, kWidth, kHeight);
    CMyByteArray envelope, plain;
    testlog::TakeLines();
    ASSERT_TRUE(sent.Serialize(envelope));
    ASSERT_TRUE(C3DESEncode::Deserialize(envelope, plain));
    const uint32_t nStream = plain.GetSize() - 32;
    EXPECT_LT(nStream, pixels.GetSize() / 2) << "compressed";

    const auto lines = testlog::Take(testlog::kDebug);
    ASSERT_EQ(lines.size(), 1u);
    const std::string logged = "CVCData::Compress(): orig size: 88320 bytes. compressed size: " +
                               std::to_string(nStream) + " bytes. Ratio: ";
    EXPECT_EQ(lines[0].rfind(logged, 0), 0u) << lines[0];

    CVCData received;
    ASSERT_TRUE(received.Deserialize(envelope));
    EXPECT_EQ(received.GetCmd(), VC_IMAGE_EVENT);
    EXPECT_EQ(received.GetWidth(), kWidth);
    EXPECT_EQ(received.GetHeight(), kHeight);
    EXPECT_EQ(received.GetCallingProcessID(), 31337u);
    EXPECT_TRUE(Same(received.GetData(), pixels));
}

TEST(CVCData, ZlibHelpersLeaveNoPartialOutput)
{
    const CMyByteArray pixels = FingerprintLike(30, 30);
    CMyByteArray compressed = Bytes(3);
    EXPECT_FALSE(CVCData::Compress(CMyByteArray(), compressed));
    EXPECT_TRUE(compressed.IsEmpty());
    ASSERT_TRUE(CVCData::Compress(pixels, compressed));

    CMyByteArray exact(900), small(899), large(901), none;
    EXPECT_TRUE(CVCData::Uncompress(compressed, exact));
    EXPECT_TRUE(Same(exact, pixels));
    EXPECT_FALSE(CVCData::Uncompress(compressed, small));
    EXPECT_TRUE(small.IsEmpty());
    EXPECT_FALSE(CVCData::Uncompress(compressed, large));
    EXPECT_TRUE(large.IsEmpty());
    EXPECT_FALSE(CVCData::Uncompress(compressed, none));
    EXPECT_FALSE(CVCData::Uncompress(CMyByteArray(), exact));
}

}  // namespace
