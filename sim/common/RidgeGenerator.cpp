#include "sim/common/RidgeGenerator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "sim/common/CSimRandom.h"

namespace vsim {
namespace {

constexpr double kPi = 3.14159265358979323846;

enum class EFlow { Whorl, Loop, Arch };

// One smooth bend of the ridge flow: offset = amplitude * sin(k . p + phase).
struct CWave {
    double m_dKx, m_dKy, m_dPhase, m_dAmplitude;

    double At(double x, double y) const
    {
        return m_dAmplitude * std::sin(m_dKx * x + m_dKy * y + m_dPhase);
    }
};

// A point where one ridge ends or splits in two.
struct CMinutia {
    double m_dX, m_dY, m_dTurn;
};

// Everything the seed fixes.
struct CFinger {
    EFlow m_eFlow = EFlow::Whorl;
    double m_dCoreX = 0, m_dCoreY = 0;
    double m_dCos = 1, m_dSin = 0;
    double m_dPeriod = 9;
    double m_dAspect = 1;
    double m_dArchHeight = 0, m_dArchWidth = 1;
    std::array<CWave, 4> m_waves{};
    std::vector<CMinutia> m_vMinutiae;
    double m_dTipX = 0, m_dTipY = 0, m_dTipRx = 1, m_dTipRy = 1;
};

// What changes from one touch to the next.
struct CTouch {
    double m_dShiftX, m_dShiftY, m_dPressure;
};

CWave _Wave(CSimRandom& random)
{
    const double dLength = random.Uniform(70, 220);
    const double dAngle = random.Uniform(0, 2 * kPi);
    return {2 * kPi / dLength * std::cos(dAngle), 2 * kPi / dLength * std::sin(dAngle),
            random.Uniform(0, 2 * kPi), random.Uniform(2, 6)};
}

CFinger _Finger(uint32_t nWidth, uint32_t nHeight, uint32_t nSeed)
{
    CSimRandom random(0x5EED000000000000ull ^ nSeed);
    const double w = nWidth;
    const double h = nHeight;
    CFinger finger;
    finger.m_eFlow = static_cast<EFlow>(random.Below(3));
    finger.m_dCoreX = w * random.Uniform(0.4, 0.6);
    finger.m_dCoreY = h * random.Uniform(0.35, 0.5);
    const double dAngle = random.Uniform(-0.35, 0.35);
    finger.m_dCos = std::cos(dAngle);
    finger.m_dSin = std::sin(dAngle);
    finger.m_dPeriod = random.Uniform(8, 10.5);
    finger.m_dAspect = random.Uniform(1.1, 1.5);
    finger.m_dArchHeight = h * random.Uniform(0.12, 0.25);
    finger.m_dArchWidth = w * random.Uniform(0.15, 0.25);
    for (CWave& wave : finger.m_waves)
        wave = _Wave(random);
    finger.m_dTipX = w * random.Uniform(0.47, 0.53);
    finger.m_dTipY = h * random.Uniform(0.52, 0.58);
    finger.m_dTipRx = w * random.Uniform(0.44, 0.5);
    finger.m_dTipRy = h * random.Uniform(0.5, 0.56);
    const uint32_t nMinutiae = 8 + random.Below(8);
    for (uint32_t i = 0; i < nMinutiae; ++i) {
        const double dRadius = 0.75 * std::sqrt(random.Uniform(0, 1));
        const double dTheta = random.Uniform(0, 2 * kPi);
        finger.m_vMinutiae.push_back({finger.m_dTipX + dRadius * finger.m_dTipRx * std::cos(dTheta),
                                      finger.m_dTipY + dRadius * finger.m_dTipRy * std::sin(dTheta),
                                      random.Below(2) ? 1.0 : -1.0});
    }
    return finger;
}

// Distance across the ridges from the core, in pixels: its level lines are
// the ridges.
double _Across(const CFinger& finger, double u, double v)
{
    switch (finger.m_eFlow) {
    case EFlow::Whorl:
        return std::hypot(u, v / finger.m_dAspect);
    case EFlow::Loop:  // around the core above it, straight down beside it
        return v < 0 ? std::hypot(u, v) : std::fabs(u);
    case EFlow::Arch:
    default:
        return v + finger.m_dArchHeight *
                       std::exp(-u * u / (2 * finger.m_dArchWidth * finger.m_dArchWidth));
    }
}

double _Phase(const CFinger& finger, double x, double y)
{
    const double wx = x + finger.m_waves[0].At(x, y) + finger.m_waves[1].At(x, y);
    const double wy = y + finger.m_waves[2].At(x, y) + finger.m_waves[3].At(x, y);
    const double dx = wx - finger.m_dCoreX;
    const double dy = wy - finger.m_dCoreY;
    const double u = finger.m_dCos * dx + finger.m_dSin * dy;
    const double v = -finger.m_dSin * dx + finger.m_dCos * dy;
    double dPhase = 2 * kPi * _Across(finger, u, v) / finger.m_dPeriod;
    for (const CMinutia& minutia : finger.m_vMinutiae)
        dPhase += minutia.m_dTurn * std::atan2(y - minutia.m_dY, x - minutia.m_dX);
    return dPhase;
}

// 1 where the finger presses fully, fading to 0 over its rim.
double _Contact(const CFinger& finger, double x, double y)
{
    const double ex = (x - finger.m_dTipX) / finger.m_dTipRx;
    const double ey = (y - finger.m_dTipY) / finger.m_dTipRy;
    return std::clamp((1 - (ex * ex + ey * ey)) / 0.18, 0.0, 1.0);
}

uint8_t _Grey(double dRidge, double dContact, double dNoise)
{
    const double dSharp = std::tanh(2 * dRidge) / std::tanh(2.0);
    const double dGrey = 255 - dContact * (135 + 80 * dSharp) + dContact * dNoise;
    return static_cast<uint8_t>(std::clamp(std::lround(dGrey), 0L, 255L));
}

}  // namespace

CGreyImage GenerateRidges(uint32_t nWidth, uint32_t nHeight, uint32_t nSeed, uint32_t nFrame)
{
    const CFinger finger = _Finger(nWidth, nHeight, nSeed);
    CSimRandom random((uint64_t(nSeed) << 32 | nFrame) * 0x2545F4914F6CDD1Dull + 1);
    const CTouch touch{random.Uniform(-2.5, 2.5), random.Uniform(-2.5, 2.5),
                       random.Uniform(0.85, 1.0)};
    CGreyImage image(nWidth, nHeight, 255);
    for (uint32_t y = 0; y < nHeight; ++y) {
        for (uint32_t x = 0; x < nWidth; ++x) {
            const double px = x - touch.m_dShiftX;
            const double py = y - touch.m_dShiftY;
            const double dContact = _Contact(finger, px, py) * touch.m_dPressure;
            const double dNoise = random.Uniform(-14, 14);
            if (dContact > 0)
                image.At(x, y) = _Grey(std::cos(_Phase(finger, px, py)), dContact, dNoise);
        }
    }
    return image;
}

}  // namespace vsim
