// The in-memory form of a captured 8-bit grey image, with the ready-made
// bitmap information block that callers and the snapshot writer receive.
#pragma once
#include <cstdint>

#include "support/CMyByteArray.h"
#include "support/Win32.h"

class CRawImg {
public:
    // BITMAPINFOHEADER (40 bytes) followed by a 256-entry grey palette.
    class CRawImgHdr {
    public:
        static constexpr uint32_t kHeaderSize = 40;
        static constexpr uint32_t kInfoSize = kHeaderSize + 256 * 4;

        CRawImgHdr();
        virtual ~CRawImgHdr() = default;

        // Bits per pixel other than 8 or 24 are written as 8.
        void SetInfo(uint32_t nWidth, uint32_t nHeight, int32_t nBitsPerPixel);
        const uint8_t* GetInfo() const { return m_baInfo.GetData(); }

    private:
        CMyByteArray m_baInfo;
    };

    // Largest image, in bytes, that FitToFrame and FillFingerscannerImage handle.
    static constexpr uint32_t kMaxImageBytes = 400000;

    CRawImg() = default;
    virtual ~CRawImg() = default;

    void Clear();
    // False, record unchanged, for an empty size or too few pixel bytes.
    bool SetImage(const CMyByteArray& baPixels, uint32_t nWidth, uint32_t nHeight,
                  int32_t nBitsPerPixel);
    // Centres the image in the new frame (vertical crops keep the top rows).
    void FitToFrame(uint32_t nNewWidth, uint32_t nNewHeight);
    void FlipVertical();

    uint32_t GetWidth() const { return m_nWidth; }
    uint32_t GetHeight() const { return m_nHeight; }
    const CMyByteArray& GetImageData() const { return m_baData; }
    // Valid while the record lives and until its header next changes.
    const uint8_t* GetBitmapInfo() const { return m_oHeader.GetInfo(); }

    // Writes a bitmap snapshot into the configured folder when snapshots are on.
    bool SaveBmp(const WString& sFileName) const;

private:
    bool _IsEmpty() const { return m_nWidth == 0 || m_nHeight == 0; }
    int32_t _HeaderBitCount() const;

    uint32_t m_nWidth = 0;
    uint32_t m_nHeight = 0;
    CMyByteArray m_baData;
    CRawImgHdr m_oHeader;
};
