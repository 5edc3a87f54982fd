#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "common/LogHooks.h"
#include "TestBytes.h"
#include "channel/C3DESEncode.h"
#include "pal/base/settings.h"

namespace {

using namespace testbytes;

// The key material is the runtime's rand() sequence from the seed (41, 18467,
// 6334, 26500 from 1), each value little-endian in four bytes.
TEST(StreamSink, KeyMaterialIsGeneratorOutputAndEncryptNeedsRoom)
{
    C3DESEncode::StreamSink sink;
    sink.SetSeed(1);
    ASSERT_TRUE(sink.IsReady());
    ASSERT_EQ(sink.GetKeyMaterialLen(), 16u);
    const uint8_t expected[16] = {41, 0, 0, 0, 0x23, 0x48, 0, 0, 0xBE, 0x18, 0, 0, 0x84, 0x67, 0, 0};
    EXPECT_EQ(std::memcmp(sink.GetKeyMaterial(), expected, 16), 0);

    // Encrypting needs a key and room for the digest and the padding.
    BYTE buffer[64] = {};
    C3DESEncode::StreamSink unkeyed;
    DWORD nLen = 8;
    EXPECT_FALSE(unkeyed.Encrypt(buffer, nLen, sizeof buffer));
    nLen = 8;
    EXPECT_FALSE(sink.Encrypt(buffer, nLen, 28)); // length + 20 must stay below capacity
    EXPECT_FALSE(sink.Encrypt(nullptr, nLen, 64));
    EXPECT_TRUE(sink.Encrypt(buffer, nLen, 64));
    EXPECT_EQ(nLen, 32u);
}

TEST(C3DESEncode, SizesRoundTripAndSeeds)
{
    struct SCase {
        uint32_t nPlain;
        uint32_t nEnvelope;
    } cases[] = {{1, 32}, {4, 40}, {5, 40}, {32, 64}, {1000, 1032}};
    for (const auto& c : cases) {
        const CMyByteArray plain = Bytes(c.nPlain, 3);
        CMyByteArray envelope, opened;
        ASSERT_TRUE(C3DESEncode::Serialize(plain, envelope)) << c.nPlain;
        EXPECT_EQ(envelope.GetSize(), c.nEnvelope) << c.nPlain;
        EXPECT_EQ(envelope.ElementAt(0) | envelope.ElementAt(1) << 8, int(c.nEnvelope - 8));
        ASSERT_TRUE(C3DESEncode::Deserialize(envelope, opened)) << c.nPlain;
        EXPECT_TRUE(Same(opened, plain)) << c.nPlain;
    }
    CMyByteArray envelope = Bytes(4);
    EXPECT_FALSE(C3DESEncode::Serialize(CMyByteArray(), envelope)) << "empty plaintext";
    EXPECT_TRUE(envelope.IsEmpty());

    // A fresh seed per envelope; a fixed one gives the same envelope every time and travels in clear.
    const CMyByteArray plain = Bytes(32, 1);
    CMyByteArray first, second, fixed1, fixed2;
    ASSERT_TRUE(C3DESEncode::Serialize(plain, first) && C3DESEncode::Serialize(plain, second));
    EXPECT_FALSE(Same(first, second));
    ASSERT_TRUE(C3DESEncode::SerializeWithSeed(plain, fixed1, 0x1234) &&
                C3DESEncode::SerializeWithSeed(plain, fixed2, 0x1234));
    EXPECT_TRUE(Same(fixed1, fixed2));
    EXPECT_EQ(GetLe32(fixed1, 4), 0x1234u);
}

TEST(C3DESEncode, MalformedEnvelopesRejected)
{
    CMyByteArray valid;
    ASSERT_TRUE(C3DESEncode::Serialize(Bytes(32), valid));
    struct SCase {
        const char* pszName;
        uint32_t nSize;
        uint32_t nLengthField;
        size_t nDecryptErrors; // 0: refused before any decryption
        EChannelFault eFault;
    } cases[] = {
        {"empty", 0, 0, 0, EChannelFault::Empty},
        {"below minimum", 19, 11, 0, EChannelFault::TooShort},
        {"length too small", 64, 48, 0, EChannelFault::LengthField},
        {"length too large", 64, 64, 0, EChannelFault::LengthField},
        {"length wraps", 64, 0xFFFFFFF8u + 56, 0, EChannelFault::LengthField},
        {"length huge", 64, 0xFFFFFFFFu, 0, EChannelFault::LengthField},
        {"not a block multiple", 21, 13, 1, EChannelFault::Integrity},
    };
    for (const auto& c : cases) {
        CMyByteArray envelope(c.nSize);
        if (c.nSize)
            std::memcpy(envelope.GetData(), valid.GetData(), std::min(c.nSize, valid.GetSize()));
        if (c.nSize >= 4)
            PutLe32(envelope, 0, c.nLengthField);
        CMyByteArray out = Bytes(3);
        testlog::TakeLines();
        EChannelFault eFault = EChannelFault::None;
        EXPECT_FALSE(C3DESEncode::Deserialize(envelope, out, &eFault)) << c.pszName;
        EXPECT_EQ(eFault, c.eFault) << c.pszName;
        EXPECT_EQ(testlog::Take(testlog::kError).size(), c.nDecryptErrors) << c.pszName;
    }
}

TEST(C3DESEncode, TamperingDetected)
{
    // A German user on an English system: the lines carry the system's text,
    // which the user's language would not find.
    pal::SetSetting("VESK_USER_LANG", "0407");
    const CMyByteArray plain = Bytes(32, 9);
    CMyByteArray valid;
    ASSERT_TRUE(C3DESEncode::Serialize(plain, valid));
    const std::string kBadPad = "Error during CryptDecrypt: \r\n\tvalue: "
                                "0X80090005 \r\n\tMessage: Bad Data.";
    const std::string kTampered = "Critical Error occured while decrypting data: stream is "
                                  "tampered, hash checksums are not identical !!!";
    for (uint32_t nBit = 0; nBit < (valid.GetSize() - 8) * 8; nBit += 7) {
        CMyByteArray envelope = valid;
        envelope.ElementAt(8 + nBit / 8) ^= static_cast<uint8_t>(1u << (nBit % 8));
        CMyByteArray out;
        testlog::TakeLines();
        EChannelFault eFault = EChannelFault::None;
        EXPECT_FALSE(C3DESEncode::Deserialize(envelope, out, &eFault)) << "bit " << nBit;
        EXPECT_EQ(eFault, EChannelFault::Integrity);
        EXPECT_TRUE(out.IsEmpty()) << "unverified bytes handed out, bit " << nBit;
        const auto lines = testlog::Take(testlog::kError);
        ASSERT_EQ(lines.size(), 1u) << "bit " << nBit;
        EXPECT_TRUE(lines[0] == kBadPad || lines[0] == kTampered) << lines[0];
    }
    // Bit 31 never reaches the generator's output, so it is not tried.
    for (uint32_t nDelta : {1u, 0x100u, 0x40000000u}) {
        CMyByteArray envelope = valid;
        PutLe32(envelope, 4, GetLe32(envelope, 4) ^ nDelta);
        CMyByteArray out;
        EXPECT_FALSE(C3DESEncode::Deserialize(envelope, out)) << "seed delta " << nDelta;
    }
    pal::ClearSetting("VESK_USER_LANG");
}

TEST(C3DESEncode, AHashThatCannotBeHadIsNoTampering)
{
    CMyByteArray valid, out;
    ASSERT_TRUE(C3DESEncode::Serialize(Bytes(32, 4), valid));
    pal::SetSetting("VESK_CRYPT_FAIL", "CryptGetHashParam");
    testlog::TakeLines();
    EXPECT_FALSE(C3DESEncode::Deserialize(valid, out));
    pal::ClearSetting("VESK_CRYPT_FAIL");
    for (const std::string& sLine : testlog::Take(testlog::kError))
        EXPECT_EQ(sLine.find("not identical"), std::string::npos) << sLine;
}

// A provider that derives no triple-DES key gives way to the enhanced RSA one:
// the same envelope, one debug line however often, and no error.
TEST(C3DESEncode, AProviderWithoutDerivationSealsTheSameEnvelope)
{
    CMyByteArray direct, fallback, out;
    ASSERT_TRUE(C3DESEncode::SerializeWithSeed(Bytes(40, 9), direct, 7));
    pal::SetSetting("VESK_CRYPT_FAIL", "CryptDeriveKey:PROV_DH_SCHANNEL");
    testlog::TakeLines();
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(C3DESEncode::SerializeWithSeed(Bytes(40, 9), fallback, 7));
    EXPECT_TRUE(C3DESEncode::Deserialize(direct, out));
    pal::ClearSetting("VESK_CRYPT_FAIL");
    ASSERT_EQ(fallback.GetSize(), direct.GetSize());
    EXPECT_EQ(std::memcmp(fallback.GetData(), direct.GetData(), direct.GetSize()), 0);
    const std::vector<testlog::Line> lines = testlog::TakeLines();
    const auto count = [&lines](int level) {
        return std::count_if(lines.begin(), lines.end(),
                             [level](const testlog::Line& line) { return line.level == level; });
    };
    EXPECT_EQ(count(testlog::kDebug), 1);
    EXPECT_EQ(count(testlog::kError), 0);
}

} // namespace

