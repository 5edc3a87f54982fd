// Fingerprint-like pictures from a seed, at any geometry: a whorl, loop or
// arch ridge flow, bent by smooth waves, with ridge endings and bifurcations
// where the ridge phase turns around a point. The seed fixes the finger;
// the frame number moves and presses it a little differently, as successive
// touches of one finger differ.
#pragma once
#include <cstdint>

#include "sim/common/CGreyImage.h"

namespace vsim {

// Dark ridges on light valleys inside an oval fingertip on white; the tip
// runs off the bottom edge as a finger pressed on a scanner does.
CGreyImage GenerateRidges(uint32_t nWidth, uint32_t nHeight, uint32_t nSeed, uint32_t nFrame);

}  // namespace vsim
