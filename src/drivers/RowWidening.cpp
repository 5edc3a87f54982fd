#include "drivers/RowWidening.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr uint32_t kRowAlignment = 16;
constexpr uint8_t kWhite = 0xFF;

}  // namespace

uint32_t WidenedWidth(uint32_t nWidth)
{
    const uint32_t nRest = nWidth % kRowAlignment;
    return nRest == 0 ? nWidth : nWidth + kRowAlignment - nRest;
}

CMyByteArray WidenRows(const uint8_t* pPixels, uint32_t nWidth, uint32_t nHeight)
{
    const uint32_t nNewWidth = WidenedWidth(nWidth);
    const uint32_t nLeft = (nNewWidth - nWidth) / 2;
    CMyByteArray widened(nNewWidth * nHeight);
    std::memset(widened.GetData(), kWhite, widened.GetSize());
    for (uint32_t y = 0; y < nHeight; ++y)
        std::memcpy(widened.GetData() + size_t(y) * nNewWidth + nLeft, pPixels + size_t(y) * nWidth, nWidth);
    return widened;
}
