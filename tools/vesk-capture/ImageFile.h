// Captured images as files. The library delivers the bottom row of the
// picture first (its own snapshots are bitmaps that store the rows exactly as
// delivered), so a bitmap keeps that order with a positive height, and a PGM,
// which starts at the top, reverses it. Either way the picture is upright.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

#include "CaptureOptions.h"
#include "Files.h"
#include "ImageEncoding.h"

namespace vcap {

// One byte per pixel, rows in the library's order.
using vtool::CImage;

// The highest number an image file name holds: nine digits.
constexpr uint32_t kLastImageNumber = 999999999;

// "image-001.bmp" for the first image.
std::u16string ImageFileName(uint32_t nNumber, EImageFormat eFormat);
// One past the highest number of an image-NNN.bmp or image-NNN.pgm in the
// folder, 1 in a folder without any: one numbering for both formats, so that
// a number names one picture.
uint32_t NextImageNumber(const std::filesystem::path& folder);
// Creates the file, never replacing one (AlreadyThere).
vtool::CWriteResult WriteImageFile(const std::filesystem::path& path, const CImage& image,
                                   EImageFormat eFormat);

}  // namespace vcap
