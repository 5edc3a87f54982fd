// The block that VeskBitGetImage fills: a BITMAPINFOHEADER and a 256-entry
// grey palette (1,064 bytes), then the 240 x 368 pixels bottom row first, as
// that header's positive height says; so header and pixels together make a
// bitmap that shows the finger upright.
#pragma once
#include <cstdint>

#include "sim/common/CGreyImage.h"

namespace vsim::veskbit {

// `image` must be kVeskBitWidth x kVeskBitHeight; pBlock holds kVeskBitBlockSize bytes.
void WriteBlock(const CGreyImage& image, uint8_t* pBlock);

}  // namespace vsim::veskbit
