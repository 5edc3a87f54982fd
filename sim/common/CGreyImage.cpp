#include "sim/common/CGreyImage.h"

namespace vsim {

CGreyImage::CGreyImage(uint32_t nWidth, uint32_t nHeight, uint8_t nFill)
    : m_nWidth(nWidth), m_nHeight(nHeight), m_vPixels(size_t(nWidth) * nHeight, nFill)
{
}

namespace {

// Where a source span of nSource lands in a target span of nTarget: the first
// source index, the first target index and how many are copied.
struct CSpan {
    uint32_t m_nFrom;
    uint32_t m_nTo;
    uint32_t m_nCount;
};

CSpan _Centre(uint32_t nSource, uint32_t nTarget)
{
    if (nSource <= nTarget)
        return {0, (nTarget - nSource) / 2, nSource};
    return {(nSource - nTarget) / 2, 0, nTarget};
}

}  // namespace

CGreyImage FitCentred(const CGreyImage& image, uint32_t nWidth, uint32_t nHeight, uint8_t nFill)
{
    CGreyImage fitted(nWidth, nHeight, nFill);
    const CSpan columns = _Centre(image.GetWidth(), nWidth);
    const CSpan rows = _Centre(image.GetHeight(), nHeight);
    for (uint32_t y = 0; y < rows.m_nCount; ++y) {
        for (uint32_t x = 0; x < columns.m_nCount; ++x)
            fitted.At(columns.m_nTo + x, rows.m_nTo + y) =
                image.At(columns.m_nFrom + x, rows.m_nFrom + y);
    }
    return fitted;
}

}  // namespace vsim
