// Pictures that users hand to the simulators: binary or text PGM (P5, P2) and
// 8-bit palettized BMP (bottom-up or top-down, uncompressed). Hostile input
// is refused with a reason, never trusted: every size is bounded.
#pragma once
#include <cstdint>
#include <string>

#include "sim/common/CGreyImage.h"
#include "support/Win32.h"

namespace vsim {

constexpr uint32_t kMaxImageSide = 16384;
constexpr uint32_t kMaxImagePixels = 16u << 20;
constexpr uint32_t kMaxImageFileBytes = 64u << 20;

// Pure: no state, no platform calls. On false `out` is unchanged and `why`
// says what is wrong, in one phrase.
bool ReadGreyImage(const std::string& bytes, CGreyImage& out, std::string& why);

// The whole file through the Win32 calls (so paths behave as the library's
// do), then ReadGreyImage; `why` names the file.
bool ReadGreyImageFile(const WString& sPath, CGreyImage& out, std::string& why);

}  // namespace vsim
