// Generated fingers: the same seed is the same finger, touch after touch
// only moved and pressed a little differently; another seed is another
// finger; and the picture has ridges at a fingerprint's spacing.
#include <gtest/gtest.h>

#include <cmath>

#include "sim/common/RidgeGenerator.h"

namespace simtest {
namespace {

using vsim::CGreyImage;
using vsim::GenerateRidges;

// Correlation of the central parts of two pictures, at the best of the
// small shifts a finger moves between touches.
double BestCorrelation(const CGreyImage& a, const CGreyImage& b)
{
    const int margin = 40;
    const int shift = 5;
    double best = -1;
    for (int dy = -shift; dy <= shift; ++dy) {
        for (int dx = -shift; dx <= shift; ++dx) {
            double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0, n = 0;
            for (int y = margin; y < int(a.GetHeight()) - margin; y += 2) {
                for (int x = margin; x < int(a.GetWidth()) - margin; x += 2) {
                    const double va = a.At(x, y);
                    const double vb = b.At(x + dx, y + dy);
                    sa += va, sb += vb, saa += va * va, sbb += vb * vb, sab += va * vb, n += 1;
                }
            }
            const double cov = sab / n - (sa / n) * (sb / n);
            const double var = (saa / n - (sa / n) * (sa / n)) * (sbb / n - (sb / n) * (sb / n));
            best = std::max(best, cov / std::sqrt(var));
        }
    }
    return best;
}

TEST(RidgeGenerator, SeedFixesTheFingerAndFramesMoveIt)
{
    for (const uint32_t seed : {1u, 2u, 3u, 77u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(seed);
        const CGreyImage first = GenerateRidges(240, 368, seed, 0);
        EXPECT_EQ(GenerateRidges(240, 368, seed, 0).GetPixels(), first.GetPixels());
        const CGreyImage next = GenerateRidges(240, 368, seed, 1);
        EXPECT_NE(next.GetPixels(), first.GetPixels());
        EXPECT_GT(BestCorrelation(first, next), 0.7);
        EXPECT_LT(BestCorrelation(first, GenerateRidges(240, 368, seed + 1, 0)), 0.5);
        EXPECT_EQ(GenerateRidges(96, 57, seed, 0).GetPixels().size(), 96u * 57u);
    }
}

TEST(RidgeGenerator, DarkRidgesAtFingerprintSpacingOnWhite)
{
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        const CGreyImage image = GenerateRidges(240, 368, seed, 0);
        EXPECT_EQ(image.At(0, 0), 255);  // outside the fingertip
        EXPECT_EQ(image.At(239, 0), 255);
        uint32_t dark = 0, light = 0, crossings = 0;
        for (uint32_t x = 40; x < 200; ++x) {
            const uint8_t v = image.At(x, 184);
            dark += v < 100;
            light += v > 160;
            crossings += (v < 128) != (image.At(x - 1, 184) < 128);
        }
        EXPECT_GT(dark, 30u);
        EXPECT_GT(light, 30u);
        // 160 pixels at a ridge period of 8-10.5 pixels, give or take the bends.
        EXPECT_GE(crossings, 20u);
        EXPECT_LE(crossings, 60u);
    }
}

}  // namespace
}  // namespace simtest
