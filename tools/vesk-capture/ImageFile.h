// Captured images as files. The library delivers the bottom row of the
// picture first (its own snapshots are bitmaps that store the rows exactly as
// delivered), so a bitmap keeps that order with a positive height, and a PGM,
// which starts at the top, reverses it. Either way the picture is upright.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

#include "CaptureOptions.h"
#include "ImageEncoding.h"

namespace vcap {

// One byte per pixel, rows in the library's order.
using vtool::CImage;

// "image-001.bmp" for the first image.
std::u16string ImageFileName(uint32_t nNumber, EImageFormat eFormat);
// Creates or replaces the file; false when it cannot be written completely.
bool WriteImageFile(const std::filesystem::path& path, const CImage& image, EImageFormat eFormat);

}  // namespace vcap
