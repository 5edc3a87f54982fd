// vsim::ReadGreyImage on any picture file a user may hand a simulator: what
// it accepts is within its bounds and complete; what it refuses, it says why.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzKit.h"
#include "sim/common/GreyImageReader.h"

using fuzzkit::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::string bytes(reinterpret_cast<const char*>(pData), nSize);
    vsim::CGreyImage image;
    std::string why;
    if (!vsim::ReadGreyImage(bytes, image, why)) {
        Require(image.IsEmpty() && !why.empty());
        return 0;
    }
    const uint64_t nWidth = image.GetWidth();
    const uint64_t nHeight = image.GetHeight();
    Require(nWidth != 0 && nHeight != 0);
    Require(nWidth <= vsim::kMaxImageSide && nHeight <= vsim::kMaxImageSide);
    Require(nWidth * nHeight <= vsim::kMaxImagePixels);
    Require(image.GetPixels().size() == nWidth * nHeight);
    return 0;
}
