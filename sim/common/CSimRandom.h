// A small seeded generator (splitmix64) with the same sequence on every
// platform and run-time, unlike the distributions of <random>.
#pragma once
#include <cstdint>

namespace vsim {

class CSimRandom {
public:
    explicit CSimRandom(uint64_t nSeed) : m_nState(nSeed) {}

    uint64_t Next()
    {
        uint64_t z = (m_nState += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // In [dLow, dHigh).
    double Uniform(double dLow, double dHigh)
    {
        return dLow + (dHigh - dLow) * double(Next() >> 11) * (1.0 / 9007199254740992.0);
    }

    // In [0, nCount); nCount above 0.
    uint32_t Below(uint32_t nCount) { return static_cast<uint32_t>(Next() % nCount); }

private:
    uint64_t m_nState;
};

}  // namespace vsim
