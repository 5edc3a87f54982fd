#include "image/CRawImg.h"

#include <cstring>

#include "support/LittleEndian.h"

namespace {

// Where an image line of nSource units lands in a frame of nTarget units:
// centred when it fits, the smaller half of an odd margin first.
struct Placement {
    uint32_t nSourceStart;
    uint32_t nTargetStart;
    uint32_t nCount;
};

Placement Place(uint32_t nSource, uint32_t nTarget, bool bCropCentred)
{
    if (nSource <= nTarget)
        return {0, (nTarget - nSource) / 2, nSource};
    return {bCropCentred ? (nSource - nTarget) / 2 : 0, 0, nTarget};
}

bool FitsWorkingSize(uint64_t nWidth, uint64_t nHeight)
{
    return nWidth * nHeight <= CRawImg::kMaxImageBytes;
}

}  // namespace

void CRawImg::Clear()
{
    m_nWidth = 0;
    m_nHeight = 0;
    m_baData.RemoveAll();
}

bool CRawImg::SetImage(const CMyByteArray& baPixels, uint32_t nWidth, uint32_t nHeight,
                       int32_t nBitsPerPixel)
{
    if (nWidth == 0 || nHeight == 0 || baPixels.IsEmpty() ||
        baPixels.GetSize() < uint64_t{nWidth} * nHeight)
        return false;
    m_baData = baPixels;
    m_nWidth = nWidth;
    m_nHeight = nHeight;
    m_oHeader.SetInfo(nWidth, nHeight, nBitsPerPixel);
    return true;
}

void CRawImg::FitToFrame(uint32_t nNewWidth, uint32_t nNewHeight)
{
    if (_IsEmpty() || nNewWidth == 0 || nNewHeight == 0)
        return;
    // Larger images are left as they are rather than cut to the working size:
    // every stage (the image, the re-widened image, the result) must fit.
    if (!FitsWorkingSize(m_nWidth, m_nHeight) || !FitsWorkingSize(nNewWidth, m_nHeight) ||
        !FitsWorkingSize(nNewWidth, nNewHeight))
        return;

    const Placement columns = Place(m_nWidth, nNewWidth, true);
    const Placement rows = Place(m_nHeight, nNewHeight, false);
    CMyByteArray baFitted(nNewWidth * nNewHeight);
    uint8_t* const pTarget = baFitted.GetData();
    std::memset(pTarget, 0, baFitted.GetSize());
    const uint8_t* const pSource = m_baData.GetData();
    for (uint32_t r = 0; r < rows.nCount; ++r)
        std::memcpy(pTarget + (rows.nTargetStart + r) * nNewWidth + columns.nTargetStart,
                    pSource + (rows.nSourceStart + r) * m_nWidth + columns.nSourceStart,
                    columns.nCount);

    const int32_t nBitsPerPixel = _HeaderBitCount();
    m_baData = baFitted;
    m_nWidth = nNewWidth;
    m_nHeight = nNewHeight;
    m_oHeader.SetInfo(nNewWidth, nNewHeight, nBitsPerPixel);
}

void CRawImg::FlipVertical()
{
    if (_IsEmpty())
        return;
    const CMyByteArray baCopy(m_baData);
    uint8_t* const pTarget = m_baData.GetData();
    std::memset(pTarget, 0, m_baData.GetSize());
    for (uint32_t r = 0; r < m_nHeight; ++r)
        std::memcpy(pTarget + r * m_nWidth, baCopy.GetData() + (m_nHeight - 1 - r) * m_nWidth,
                    m_nWidth);
}

int32_t CRawImg::_HeaderBitCount() const
{
    return LoadLE16(m_oHeader.GetInfo() + 14);
}
