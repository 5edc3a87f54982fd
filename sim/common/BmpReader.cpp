// Windows bitmaps with 8 bits per pixel, uncompressed: the palette is taken
// to grey by luminance; an index beyond the palette reads as black, as
// viewers show it.
#include <array>
#include <utility>

#include "sim/common/ImageFormats.h"

namespace vsim {
namespace {

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kCoreHeaderBytes = 12;  // OS/2 1.x, different field sizes
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kMaxInfoHeaderBytes = 1024;
constexpr uint32_t kPaletteEntries = 256;

uint32_t _U32(const std::string& bytes, size_t nPos)
{
    uint32_t nValue = 0;
    for (size_t i = 0; i < 4; ++i)
        nValue |= uint32_t(static_cast<unsigned char>(bytes[nPos + i])) << (8 * i);
    return nValue;
}

uint32_t _U16(const std::string& bytes, size_t nPos)
{
    return uint32_t(static_cast<unsigned char>(bytes[nPos])) |
           uint32_t(static_cast<unsigned char>(bytes[nPos + 1])) << 8;
}

int64_t _I32(const std::string& bytes, size_t nPos)
{
    return static_cast<int32_t>(_U32(bytes, nPos));
}

bool _Fail(std::string& why, const std::string& sProblem)
{
    why = "BMP: " + sProblem;
    return false;
}

struct CBmpLayout {
    uint32_t m_nWidth = 0;
    uint32_t m_nHeight = 0;
    bool m_bTopDown = false;
    uint32_t m_nPixelOffset = 0;
    uint32_t m_nPaletteOffset = 0;
    uint32_t m_nColours = 0;
};

bool _CheckFormat(const std::string& bytes, uint32_t nInfoBytes, std::string& why)
{
    if (nInfoBytes == kCoreHeaderBytes)
        return _Fail(why, "OS/2 bitmap headers are not read");
    if (nInfoBytes < kInfoHeaderBytes || nInfoBytes > kMaxInfoHeaderBytes ||
        bytes.size() < kFileHeaderBytes + uint64_t(nInfoBytes))
        return _Fail(why, "the information header of " + std::to_string(nInfoBytes) +
                              " bytes is invalid or truncated");
    const uint32_t nPlanes = _U16(bytes, 26);
    const uint32_t nBits = _U16(bytes, 28);
    const uint32_t nCompression = _U32(bytes, 30);
    if (nPlanes != 1)
        return _Fail(why, std::to_string(nPlanes) + " planes; a bitmap has 1");
    if (nBits != 8)
        return _Fail(why, std::to_string(nBits) +
                              " bits per pixel; only 8-bit palettized bitmaps are read");
    if (nCompression != 0)
        return _Fail(why, "compression " + std::to_string(nCompression) +
                              "; only uncompressed bitmaps are read");
    return true;
}

bool _ReadLayout(const std::string& bytes, CBmpLayout& layout, std::string& why)
{
    if (bytes.size() < kFileHeaderBytes + 4)
        return _Fail(why, "the file headers are truncated");
    const uint32_t nInfoBytes = _U32(bytes, kFileHeaderBytes);
    if (!_CheckFormat(bytes, nInfoBytes, why))
        return false;
    const int64_t nWidth = _I32(bytes, 18);
    const int64_t nHeight = _I32(bytes, 22);
    if (nWidth <= 0)
        return _Fail(why, "width " + std::to_string(nWidth) + " is not positive");
    std::string sSize;
    if (!CheckImageSize(uint64_t(nWidth), uint64_t(nHeight < 0 ? -nHeight : nHeight), sSize))
        return _Fail(why, sSize);
    const uint32_t nUsed = _U32(bytes, 46);
    if (nUsed > kPaletteEntries)
        return _Fail(why, std::to_string(nUsed) + " palette entries, more than 256");
    layout.m_nWidth = static_cast<uint32_t>(nWidth);
    layout.m_nHeight = static_cast<uint32_t>(nHeight < 0 ? -nHeight : nHeight);
    layout.m_bTopDown = nHeight < 0;
    layout.m_nPixelOffset = _U32(bytes, 10);
    layout.m_nPaletteOffset = kFileHeaderBytes + nInfoBytes;
    layout.m_nColours = nUsed == 0 ? kPaletteEntries : nUsed;
    return true;
}

bool _CheckExtent(const std::string& bytes, const CBmpLayout& layout, std::string& why)
{
    const uint64_t nPaletteEnd = uint64_t(layout.m_nPaletteOffset) + 4ull * layout.m_nColours;
    if (nPaletteEnd > bytes.size())
        return _Fail(why, "the palette of " + std::to_string(layout.m_nColours) +
                              " entries is truncated");
    // The last row may lack its filler bytes.
    const uint64_t nStride = (uint64_t(layout.m_nWidth) + 3) / 4 * 4;
    const uint64_t nEnd =
        uint64_t(layout.m_nPixelOffset) + nStride * (layout.m_nHeight - 1) + layout.m_nWidth;
    if (nEnd > bytes.size())
        return _Fail(why, "the pixels are truncated: they end at byte " + std::to_string(nEnd) +
                              ", the file has " + std::to_string(bytes.size()));
    return true;
}

std::array<uint8_t, kPaletteEntries> _GreyPalette(const std::string& bytes,
                                                   const CBmpLayout& layout)
{
    std::array<uint8_t, kPaletteEntries> grey{};  // missing entries read as black
    for (uint32_t i = 0; i < layout.m_nColours; ++i) {
        const size_t nPos = layout.m_nPaletteOffset + size_t(4) * i;
        const uint32_t nBlue = static_cast<unsigned char>(bytes[nPos]);
        const uint32_t nGreen = static_cast<unsigned char>(bytes[nPos + 1]);
        const uint32_t nRed = static_cast<unsigned char>(bytes[nPos + 2]);
        grey[i] = static_cast<uint8_t>((77 * nRed + 150 * nGreen + 29 * nBlue + 128) >> 8);
    }
    return grey;
}

}  // namespace

bool ReadBmp(const std::string& bytes, CGreyImage& out, std::string& why)
{
    CBmpLayout layout;
    if (!_ReadLayout(bytes, layout, why) || !_CheckExtent(bytes, layout, why))
        return false;
    const std::array<uint8_t, kPaletteEntries> grey = _GreyPalette(bytes, layout);
    const size_t nStride = (size_t(layout.m_nWidth) + 3) / 4 * 4;
    CGreyImage image(layout.m_nWidth, layout.m_nHeight, 0);
    for (uint32_t nRow = 0; nRow < layout.m_nHeight; ++nRow) {
        const size_t nPos = layout.m_nPixelOffset + nRow * nStride;
        const uint32_t y = layout.m_bTopDown ? nRow : layout.m_nHeight - 1 - nRow;
        for (uint32_t x = 0; x < layout.m_nWidth; ++x)
            image.At(x, y) = grey[static_cast<unsigned char>(bytes[nPos + x])];
    }
    out = std::move(image);
    return true;
}

}  // namespace vsim
