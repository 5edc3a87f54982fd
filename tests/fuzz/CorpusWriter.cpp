// Writes the fuzz targets' seed corpus: valid envelopes of header-only
// messages and of images, and their plaintexts. Fixed seeds and pixels make
// every build write the same files.
// Usage: fuzz_corpus <folder>   (one subfolder per target)
#include <cstdio>
#include <stdexcept>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzKit.h"
#include "channel/C3DESEncode.h"
#include "veskSensor.h"

namespace {

namespace fs = std::filesystem;

struct SSample {
    std::string name;
    CVCData message;
};

CVCData HeaderOnly(uint32_t nCmd)
{
    CVCData message;
    message.SetCmd(nCmd);
    message.SetCallingProcessID(4242);
    return message;
}

// Smooth bands with a fine texture: dynamic Huffman blocks and long matches,
// as camera images give the compressor.
CVCData Image(uint32_t nWidth, uint32_t nHeight)
{
    CMyByteArray pixels(nWidth * nHeight);
    for (uint32_t y = 0; y < nHeight; ++y)
        for (uint32_t x = 0; x < nWidth; ++x)
            pixels.ElementAt(y * nWidth + x) = static_cast<uint8_t>(((x + 2 * y) / 5 * 37) ^ (x * y & 3));
    CVCData message = HeaderOnly(VC_IMAGE_EVENT);
    if (!message.SetImage(pixels, nWidth, nHeight))
        throw std::runtime_error("image refused");
    return message;
}

std::vector<SSample> Samples()
{
    std::vector<SSample> samples;
    samples.push_back({"get_image", HeaderOnly(VC_CMD_GET_IMAGE)});
    samples.push_back({"release", HeaderOnly(VC_CMD_RELEASE)});
    samples.push_back({"remote_busy", HeaderOnly(FS_EVENT_REMOTE_BUSY)});
    samples.push_back({"capture_ended", HeaderOnly(FS_EVENT_CAPTURE_ENDED)});
    samples.push_back({"image_16x12", Image(16, 12)});
    samples.push_back({"image_240x368", Image(240, 368)});
    return samples;
}

void Write(const fs::path& file, const CMyByteArray& bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.GetData()), bytes.GetSize());
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    try {
        uint32_t nSeed = 1;
        for (const SSample& sample : Samples()) {
            CMyByteArray envelope;
            CMyByteArray plain;
            if (!sample.message.SerializeWithSeed(envelope, nSeed++) ||
                !C3DESEncode::Deserialize(envelope, plain))
                throw std::runtime_error("cannot seal " + sample.name);
            Write(root / "envelope_fuzzer" / sample.name, envelope);
            Write(root / "message_fuzzer" / sample.name, envelope);
            Write(root / "plaintext_fuzzer" / sample.name, plain);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fuzz_corpus: %s\n", e.what());
        return 1;
    }
    return 0;
}
