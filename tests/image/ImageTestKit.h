// Patterned images and header fields for the image tests.
#pragma once
#include "image/CRawImg.h"

namespace imagetest {

// Never 0, so that zero margins stand out from image pixels.
inline uint8_t Pattern(uint32_t nRow, uint32_t nColumn) { return (nRow * 7 + nColumn * 3) % 251 + 1; }

inline CRawImg PatternImage(uint32_t nWidth, uint32_t nHeight, int32_t nBits = 8)
{
    CMyByteArray pixels(nWidth * nHeight);
    for (uint32_t i = 0; i < pixels.GetSize(); ++i)
        pixels.ElementAt(i) = Pattern(i / nWidth, i % nWidth);
    CRawImg image;
    image.SetImage(pixels, nWidth, nHeight, nBits);
    return image;
}

inline uint32_t HeaderField(const CRawImg& image, uint32_t nOffset, uint32_t nBytes = 4)
{
    uint32_t nValue = 0;
    for (uint32_t i = 0; i < nBytes; ++i)
        nValue |= uint32_t{image.GetBitmapInfo()[nOffset + i]} << (8 * i);
    return nValue;
}

}  // namespace imagetest
