// Stores of little-endian integers into byte records, whatever the host order.
#pragma once
#include <cstdint>

inline void StoreLE16(uint8_t* pTarget, uint16_t nValue)
{
    pTarget[0] = static_cast<uint8_t>(nValue);
    pTarget[1] = static_cast<uint8_t>(nValue >> 8);
}

inline void StoreLE32(uint8_t* pTarget, uint32_t nValue)
{
    for (int i = 0; i < 4; ++i)
        pTarget[i] = static_cast<uint8_t>(nValue >> (8 * i));
}

inline uint16_t LoadLE16(const uint8_t* pSource)
{
    return static_cast<uint16_t>(pSource[0] | (pSource[1] << 8));
}

inline uint32_t LoadLE32(const uint8_t* pSource)
{
    return uint32_t{pSource[0]} | uint32_t{pSource[1]} << 8 | uint32_t{pSource[2]} << 16 |
           uint32_t{pSource[3]} << 24;
}
