// Writes the fuzz targets' seed corpus: valid envelopes of header-only
// messages and of images, and their plaintexts; configuration records, .reg
// texts in both encodings and pictures in each accepted format. Fixed seeds and pixels make
// every build write the same files.
// Usage: fuzz_corpus <folder>   (one subfolder per target)
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzKit.h"
#include "ImageEncoding.h"
#include "channel/C3DESEncode.h"
#include "regtext/RegText.h"
#include "sim/common/RidgeGenerator.h"
#include "support/CDiagnosticsConfig.h"
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

// The simulator's fingerprint: what a remote capture sends.
CVCData Image(uint32_t nWidth, uint32_t nHeight)
{
    const vsim::CGreyImage ridges = vsim::GenerateRidges(nWidth, nHeight, 3, 0);
    CMyByteArray pixels(nWidth * nHeight);
    std::memcpy(pixels.GetData(), ridges.GetPixels().data(), pixels.GetSize());
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

void Write(const fs::path& file, const std::string& bytes)
{
    CMyByteArray array(static_cast<uint32_t>(bytes.size()));
    if (!bytes.empty())
        std::memcpy(array.GetData(), bytes.data(), bytes.size());
    Write(file, array);
}

void WriteConfigRecords(const fs::path& folder)
{
    Write(folder / "everything_on",
          CDiagnosticsConfig::BuildRecord(true, 1, W("C:\\snapshots"), true, 4, W("C:\\logs")));
    Write(folder / "log_only", CDiagnosticsConfig::BuildRecord(false, 0, W(""), true, 2, W("D:\\l")));
    Write(folder / "all_off", CDiagnosticsConfig::BuildRecord(false, 0, W(""), false, 0, W("")));
}

void WriteRegTexts(const fs::path& folder)
{
    using namespace regtext;
    const Document document = {{
        {u"HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\Diagnostics", false,
         {{u"", kRegSz, {'o', 0, 'n', 0, 0, 0}},
          {u"Level", kRegDword, {4, 0, 0, 0}},
          {u"Big", kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}},
          {u"Configuration", kRegBinary, std::vector<uint8_t>(40, 0xA5)},
          {u"Order", kRegMultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
          {u"Path", kRegExpandSz, {'%', 0, 'X', 0, '%', 0, 0, 0}}}},
        {u"HKEY_CURRENT_USER\\Software\\old", true, {}},
    }};
    Write(folder / "utf8.reg", Format(document, Encoding::Utf8));
    Write(folder / "utf16.reg", Format(document, Encoding::Utf16le));
}

void WritePictures(const fs::path& folder)
{
    vtool::CImage image;
    image.m_nWidth = 7;
    image.m_nHeight = 5;
    for (uint32_t i = 0; i < image.m_nWidth * image.m_nHeight; ++i)
        image.m_vPixels.push_back(static_cast<uint8_t>(i * 7));
    Write(folder / "binary.pgm", vtool::EncodePgm(image, vtool::EFirstRow::Top));
    Write(folder / "bitmap.bmp", vtool::EncodeBmp(image));
    Write(folder / "text.pgm", std::string("P2\n# grey\n3 2\n255\n0 128 255\n255 128 0\n"));
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
            // No scripted chunk: the envelope in standard chunks.
            CMyByteArray noScript(1);
            noScript.ElementAt(0) = 0;
            Write(root / "chunk_fuzzer" / sample.name, noScript + plain);
        }
        WriteConfigRecords(root / "config_fuzzer");
        WriteRegTexts(root / "regtext_fuzzer");
        WritePictures(root / "image_fuzzer");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fuzz_corpus: %s\n", e.what());
        return 1;
    }
    return 0;
}
