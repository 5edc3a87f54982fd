#include <cstring>

#include "image/CRawImg.h"
#include "support/LittleEndian.h"

CRawImg::CRawImgHdr::CRawImgHdr() : m_baInfo(kInfoSize)
{
    // The header bytes mean nothing before SetInfo; zeroed so they are never
    // uninitialised memory handed to a caller.
    uint8_t* const pInfo = m_baInfo.GetData();
    std::memset(pInfo, 0, kHeaderSize);
    for (uint32_t i = 0; i < 256; ++i) {
        uint8_t* const pEntry = pInfo + kHeaderSize + 4 * i;
        pEntry[0] = pEntry[1] = pEntry[2] = static_cast<uint8_t>(i);
        pEntry[3] = 0;
    }
}

void CRawImg::CRawImgHdr::SetInfo(uint32_t nWidth, uint32_t nHeight, int32_t nBitsPerPixel)
{
    uint8_t* const pInfo = m_baInfo.GetData();
    std::memset(pInfo, 0, kHeaderSize);
    StoreLE32(pInfo, kHeaderSize);
    StoreLE32(pInfo + 4, nWidth);
    StoreLE32(pInfo + 8, nHeight);
    StoreLE16(pInfo + 12, 1);
    StoreLE16(pInfo + 14, nBitsPerPixel == 24 ? 24 : 8);
}
