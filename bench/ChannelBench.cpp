// Cost of one remote image message, 240 x 368 fingerprint-like pixels:
// CVCData::Serialize (a fresh random seed per message, as the client sends)
// and CVCData::Deserialize, each beside the same work done directly with
// zlib and OpenSSL: a four-byte random seed, the per-message key derivation,
// zlib level 9 into a twice-the-size buffer, SHA-1 and triple-DES CBC.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <zlib.h>

#include <array>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "BenchKit.h"
#include "channel/C3DESEncode.h"
#include "channel/CVCData.h"
#include "sim/common/RidgeGenerator.h"
#include "support/LittleEndian.h"

namespace {

constexpr uint32_t kWidth = 240;
constexpr uint32_t kHeight = 368;
constexpr uint32_t kPixels = kWidth * kHeight;
constexpr uint32_t kProcessId = 4242;
constexpr size_t kDigest = 20;
constexpr size_t kKeyLen = 24;
constexpr size_t kEnvelopeHeader = 8;

using Bytes = std::vector<uint8_t>;
using Key = std::array<uint8_t, kKeyLen>;

// The simulator's fingerprint, as a remote capture of it would send.
Bytes FingerprintPixels()
{
    return vsim::GenerateRidges(kWidth, kHeight, 1, 0).GetPixels();
}

CVCData ImageMessage(const Bytes& pixels)
{
    CMyByteArray array(kPixels);
    std::memcpy(array.GetData(), pixels.data(), kPixels);
    CVCData message;
    message.SetCmd(VC_IMAGE_EVENT);
    message.SetCallingProcessID(kProcessId);
    if (!message.SetImage(array, kWidth, kHeight))
        std::abort();
    return message;
}

void Sha1(const uint8_t* pData, size_t nLen, uint8_t* pDigest)
{
    if (EVP_Digest(pData, nLen, pDigest, nullptr, EVP_sha1(), nullptr) != 1)
        std::abort();
}

// The session key of a seed, as CryptDeriveKey makes it from the SHA-1 of
// the seed's key material: the hash through the two HMAC pads.
Key DeriveKey(uint32_t nSeed)
{
    uint8_t material[C3DESEncode::StreamSink::kKeyMaterialLen];
    CSeedGenerator generator(nSeed);
    for (size_t i = 0; i < sizeof material; i += 4)
        StoreLE32(material + i, generator.Next());
    uint8_t hash[kDigest];
    Sha1(material, sizeof material, hash);
    uint8_t inner[kDigest];
    uint8_t outer[kDigest];
    uint8_t block[64];
    for (const auto& [nPad, pOut] : {std::pair{0x36, inner}, std::pair{0x5C, outer}}) {
        std::memset(block, nPad, sizeof block);
        for (size_t i = 0; i < kDigest; ++i)
            block[i] ^= hash[i];
        Sha1(block, sizeof block, pOut);
    }
    Key key;
    std::memcpy(key.data(), inner, kDigest);
    std::memcpy(key.data() + kDigest, outer, kKeyLen - kDigest);
    return key;
}

// Triple-DES CBC, zero IV, PKCS padding; returns the output length.
size_t Cipher(EVP_CIPHER_CTX* pCtx, bool bEncrypt, const Key& key, const uint8_t* pIn,
              size_t nIn, uint8_t* pOut)
{
    const uint8_t iv[8] = {};
    int nUpdate = 0;
    int nFinal = 0;
    if (EVP_CipherInit_ex(pCtx, EVP_des_ede3_cbc(), nullptr, key.data(), iv, bEncrypt) != 1 ||
        EVP_CipherUpdate(pCtx, pOut, &nUpdate, pIn, static_cast<int>(nIn)) != 1 ||
        EVP_CipherFinal_ex(pCtx, pOut + nUpdate, &nFinal) != 1)
        std::abort();
    return static_cast<size_t>(nUpdate + nFinal);
}

// The direct path's buffers, kept between messages; what it hands back is
// allocated per message.
struct SDirect {
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx{EVP_CIPHER_CTX_new(),
                                                                       &EVP_CIPHER_CTX_free};
    Bytes plain = Bytes(VC_HEADER_SIZE + 2 * kPixels + kDigest);
};

// The image message's header in wire order.
std::array<uint8_t, VC_HEADER_SIZE> ImageHeader()
{
    const uint32_t fields[] = {VC_HEADER_SIZE, 1, 1, VC_IMAGE_EVENT, 0, kWidth, kHeight, kProcessId};
    std::array<uint8_t, VC_HEADER_SIZE> header{};
    for (size_t i = 0; i < std::size(fields); ++i)
        StoreLE32(header.data() + 4 * i, fields[i]);
    return header;
}

const auto g_header = ImageHeader();

Bytes DirectSerialize(SDirect& direct, const Bytes& pixels)
{
    uint8_t* pPlain = direct.plain.data();
    std::memcpy(pPlain, g_header.data(), VC_HEADER_SIZE);
    uLongf nStream = 2 * kPixels;
    if (compress2(pPlain + VC_HEADER_SIZE, &nStream, pixels.data(), kPixels, 9) != Z_OK)
        std::abort();
    const size_t nPlain = VC_HEADER_SIZE + nStream;
    Sha1(pPlain, nPlain, pPlain + nPlain);
    uint32_t nSeed = 0;
    if (RAND_bytes(reinterpret_cast<uint8_t*>(&nSeed), sizeof nSeed) != 1)
        std::abort();
    Bytes envelope(kEnvelopeHeader + nPlain + kDigest + 8);
    const size_t nCipher = Cipher(direct.ctx.get(), true, DeriveKey(nSeed), pPlain,
                                  nPlain + kDigest, envelope.data() + kEnvelopeHeader);
    StoreLE32(envelope.data(), static_cast<uint32_t>(nCipher));
    StoreLE32(envelope.data() + 4, nSeed);
    envelope.resize(kEnvelopeHeader + nCipher);
    return envelope;
}

Bytes DirectDeserialize(SDirect& direct, const Bytes& envelope)
{
    const size_t nCipher = LoadLE32(envelope.data());
    uint8_t* pPlain = direct.plain.data();
    const size_t nPlain = Cipher(direct.ctx.get(), false, DeriveKey(LoadLE32(envelope.data() + 4)),
                                 envelope.data() + kEnvelopeHeader, nCipher, pPlain) - kDigest;
    uint8_t digest[kDigest];
    Sha1(pPlain, nPlain, digest);
    if (std::memcmp(digest, pPlain + nPlain, kDigest) != 0 ||
        std::memcmp(pPlain, g_header.data(), VC_HEADER_SIZE) != 0)
        std::abort();
    Bytes pixels(kPixels);
    uLongf nInflated = kPixels;
    if (uncompress(pixels.data(), &nInflated, pPlain + VC_HEADER_SIZE, nPlain - VC_HEADER_SIZE) !=
            Z_OK ||
        nInflated != kPixels)
        std::abort();
    return pixels;
}

const Bytes g_pixels = FingerprintPixels();

void BM_SerializeMessage(benchmark::State& state)
{
    const CVCData message = ImageMessage(g_pixels);
    for (auto _ : state) {
        CMyByteArray envelope;
        if (!message.Serialize(envelope))
            std::abort();
        benchmark::DoNotOptimize(envelope.GetData());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_SerializeDirect(benchmark::State& state)
{
    SDirect direct;
    for (auto _ : state)
        benchmark::DoNotOptimize(DirectSerialize(direct, g_pixels).data());
    state.SetItemsProcessed(state.iterations());
}

void BM_DeserializeMessage(benchmark::State& state)
{
    CMyByteArray envelope;
    if (!ImageMessage(g_pixels).Serialize(envelope))
        std::abort();
    for (auto _ : state) {
        CVCData message;
        if (!message.Deserialize(envelope))
            std::abort();
        benchmark::DoNotOptimize(message.GetData().GetData());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_DeserializeDirect(benchmark::State& state)
{
    SDirect direct;
    const Bytes envelope = DirectSerialize(direct, g_pixels);
    for (auto _ : state)
        benchmark::DoNotOptimize(DirectDeserialize(direct, envelope).data());
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_SerializeMessage);
BENCHMARK(BM_SerializeDirect);
BENCHMARK(BM_DeserializeMessage);
BENCHMARK(BM_DeserializeDirect);

}  // namespace

int main(int argc, char** argv)
{
    benchkit::CScratch scratch;  // the log is off in its empty registry
    const double kGoal = 1 / 1.3;  // a message costs at most 1.3 times the direct work
    return benchkit::RunAndReport(
        argc, argv,
        {{"serialize / direct, messages per s", "BM_SerializeMessage", "BM_SerializeDirect", kGoal},
         {"deserialize / direct, messages per s", "BM_DeserializeMessage", "BM_DeserializeDirect",
          kGoal}});
}
