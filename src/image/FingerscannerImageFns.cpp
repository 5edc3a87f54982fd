#include "image/FingerscannerImageFns.h"

#include <algorithm>
#include <cstring>

namespace {

void ReleasePixels(FingerscannerImage* pImage)
{
    delete[] pImage->pixels;
    pImage->pixels = nullptr;
}

}  // namespace

bool InitFingerscannerImage(FingerscannerImage* pImage)
{
    if (!pImage)
        return false;
    *pImage = FingerscannerImage{};
    return true;
}

bool FillFingerscannerImage(FingerscannerImage* pImage, const CRawImg& rawImg)
{
    if (!pImage)
        return false;
    pImage->width = rawImg.GetWidth();
    pImage->height = rawImg.GetHeight();
    pImage->bitmapInfo = rawImg.GetBitmapInfo();
    ReleasePixels(pImage);
    // The buffer's size is promised to callers; larger records are cut at it.
    pImage->pixels = new uint8_t[CRawImg::kMaxImageBytes];
    const CMyByteArray& baPixels = rawImg.GetImageData();
    if (!baPixels.IsEmpty())
        std::memcpy(pImage->pixels, baPixels.GetData(),
                    std::min(baPixels.GetSize(), CRawImg::kMaxImageBytes));
    return true;
}

bool FreeFingerscannerImage(FingerscannerImage* pImage)
{
    if (!pImage)
        return false;
    ReleasePixels(pImage);
    *pImage = FingerscannerImage{};
    return true;
}
