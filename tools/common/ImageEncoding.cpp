#include "ImageEncoding.h"

namespace vtool {
namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kPaletteSize = 256 * 4;
constexpr uint32_t kPixelOffset = kFileHeaderSize + kInfoHeaderSize + kPaletteSize;
constexpr uint32_t kPixelsPerMetre = 19685;  // 500 dpi, the usual fingerprint resolution

void _Put16(std::string& bytes, uint32_t nValue)
{
    bytes += static_cast<char>(nValue & 0xFF);
    bytes += static_cast<char>((nValue >> 8) & 0xFF);
}

void _Put32(std::string& bytes, uint32_t nValue)
{
    _Put16(bytes, nValue & 0xFFFF);
    _Put16(bytes, nValue >> 16);
}

const char* _Row(const CImage& image, uint32_t nRow)
{
    return reinterpret_cast<const char*>(image.m_vPixels.data()) +
           static_cast<size_t>(nRow) * image.m_nWidth;
}

}  // namespace

std::string EncodeBmp(const CImage& image)
{
    const uint32_t nStride = (image.m_nWidth + 3) & ~3u;
    const uint32_t nPixelBytes = nStride * image.m_nHeight;
    std::string bytes = "BM";
    _Put32(bytes, kPixelOffset + nPixelBytes);
    _Put32(bytes, 0);
    _Put32(bytes, kPixelOffset);
    _Put32(bytes, kInfoHeaderSize);
    _Put32(bytes, image.m_nWidth);
    _Put32(bytes, image.m_nHeight);
    _Put16(bytes, 1);
    _Put16(bytes, 8);
    _Put32(bytes, 0);  // BI_RGB
    _Put32(bytes, nPixelBytes);
    _Put32(bytes, kPixelsPerMetre);
    _Put32(bytes, kPixelsPerMetre);
    _Put32(bytes, 256);
    _Put32(bytes, 0);
    for (uint32_t nGrey = 0; nGrey < 256; ++nGrey)
        _Put32(bytes, nGrey * 0x010101);
    bytes.reserve(bytes.size() + nPixelBytes);
    for (uint32_t nRow = 0; nRow < image.m_nHeight; ++nRow) {
        bytes.append(_Row(image, nRow), image.m_nWidth);
        bytes.append(nStride - image.m_nWidth, '\0');
    }
    return bytes;
}

std::string EncodePgm(const CImage& image, EFirstRow eFirstRow)
{
    std::string bytes = "P5\n" + std::to_string(image.m_nWidth) + " " +
                        std::to_string(image.m_nHeight) + "\n255\n";
    bytes.reserve(bytes.size() + image.m_vPixels.size());
    for (uint32_t i = 0; i < image.m_nHeight; ++i) {
        const uint32_t nRow = eFirstRow == EFirstRow::Top ? i : image.m_nHeight - 1 - i;
        bytes.append(_Row(image, nRow), image.m_nWidth);
    }
    return bytes;
}

}  // namespace vtool
