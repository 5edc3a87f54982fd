#include "sim/veskbit2/VeskBitBlock.h"

#include <cstring>

#include "drivers/VeskBit2.h"

namespace vsim::veskbit {
namespace {

constexpr uint32_t kInfoHeaderBytes = 40;
static_assert(kInfoHeaderBytes + 256 * 4 == kVeskBitSkippedBytes, "header and palette");
static_assert(kVeskBitSkippedBytes + kVeskBitWidth * kVeskBitHeight == kVeskBitBlockSize,
              "block layout");

uint8_t* _Put(uint8_t* p, uint32_t nValue, int nBytes)
{
    for (int i = 0; i < nBytes; ++i)
        *p++ = static_cast<uint8_t>(nValue >> (8 * i));
    return p;
}

void _WriteHeader(uint8_t* p)
{
    p = _Put(p, kInfoHeaderBytes, 4);
    p = _Put(p, kVeskBitWidth, 4);
    p = _Put(p, kVeskBitHeight, 4);
    p = _Put(p, 1, 2);                              // planes
    p = _Put(p, 8, 2);                              // bits per pixel
    p = _Put(p, 0, 4);                              // uncompressed
    p = _Put(p, kVeskBitWidth * kVeskBitHeight, 4);
    p = _Put(p, 19685, 4);                          // 500 dpi in pixels per metre
    p = _Put(p, 19685, 4);
    p = _Put(p, 256, 4);                            // colours used
    p = _Put(p, 0, 4);
    for (uint32_t n = 0; n < 256; ++n)
        p = _Put(p, n | n << 8 | n << 16, 4);
}

}  // namespace

void WriteBlock(const CGreyImage& image, uint8_t* pBlock)
{
    _WriteHeader(pBlock);
    uint8_t* pPixels = pBlock + kVeskBitSkippedBytes;
    for (uint32_t nRow = 0; nRow < kVeskBitHeight; ++nRow) {
        const size_t nSourceRow = kVeskBitHeight - 1 - nRow;
        std::memcpy(pPixels + size_t(nRow) * kVeskBitWidth,
                    image.GetPixels().data() + nSourceRow * kVeskBitWidth, kVeskBitWidth);
    }
}

}  // namespace vsim::veskbit
