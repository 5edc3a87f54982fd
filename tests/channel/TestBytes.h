// Byte-array helpers of the channel tests.
#pragma once
#include <cstring>

#include "support/CMyByteArray.h"
#include "support/LittleEndian.h"

namespace testbytes {

inline CMyByteArray Bytes(uint32_t nSize, uint8_t nFirst = 0)
{
    CMyByteArray a(nSize);
    for (uint32_t i = 0; i < nSize; ++i)
        a.ElementAt(i) = static_cast<uint8_t>(nFirst + i);
    return a;
}

inline bool Same(const CMyByteArray& a, const CMyByteArray& b)
{
    return a.GetSize() == b.GetSize() &&
           (a.IsEmpty() || std::memcmp(a.GetData(), b.GetData(), a.GetSize()) == 0);
}

inline void PutLe32(CMyByteArray& a, uint32_t nOffset, uint32_t nValue)
{
    StoreLE32(a.GetData() + nOffset, nValue);
}

inline uint32_t GetLe32(const CMyByteArray& a, uint32_t nOffset)
{
    return LoadLE32(a.GetData() + nOffset);
}

}  // namespace testbytes
