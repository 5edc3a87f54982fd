// Captured images as files. The library delivers the bottom row of the
// picture first (its own snapshots are bitmaps that store the rows exactly as
// delivered), so a bitmap keeps that order with a positive height, and a PGM,
// which starts at the top, reverses it. Either way the picture is upright.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "CaptureOptions.h"

namespace vcap {

// One byte per pixel, m_nWidth bytes per row, rows in the library's order.
struct CImage {
    uint32_t m_nWidth = 0;
    uint32_t m_nHeight = 0;
    std::vector<uint8_t> m_vPixels;
};

// 8-bit bitmap with a grey palette; rows padded to 4 bytes.
std::string EncodeBmp(const CImage& image);
// Binary greymap, "P5".
std::string EncodePgm(const CImage& image);

// "image-001.bmp" for the first image.
std::u16string ImageFileName(uint32_t nNumber, EImageFormat eFormat);
// Creates or replaces the file; false when it cannot be written completely.
bool WriteImageFile(const std::filesystem::path& path, const CImage& image, EImageFormat eFormat);

}  // namespace vcap
