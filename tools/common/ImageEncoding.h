// Grey pictures as PGM or BMP bytes, for every tool that saves one.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vtool {

// One byte per pixel, m_nWidth bytes per row, no filler.
struct CImage {
    uint32_t m_nWidth = 0;
    uint32_t m_nHeight = 0;
    std::vector<uint8_t> m_vPixels;
};

// Which row of the picture the first row of m_vPixels is.
enum class EFirstRow { Bottom, Top };

// 8-bit bitmap with a grey palette, rows padded to 4 bytes. Its height is
// positive, so the first row of the pixels shows at the bottom.
std::string EncodeBmp(const CImage& image);
// Binary greymap, "P5", which starts at the top of the picture.
std::string EncodePgm(const CImage& image, EFirstRow eFirstRow);

}  // namespace vtool
