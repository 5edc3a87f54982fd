#include "support/RecordReaders.h"

#include <cstring>
#include <vector>

namespace {

// True when nLength bytes fit at nCursor; written to survive overflow.
bool Fits(const CMyByteArray& record, uint32_t nCursor, uint32_t nLength)
{
    return !record.IsEmpty() && nCursor < record.GetSize() &&
           nLength <= record.GetSize() - nCursor;
}

}  // namespace

bool ReadUInt32(const CMyByteArray& record, uint32_t& nCursor, uint32_t& nValue)
{
    nValue = 0;
    if (!Fits(record, nCursor, 4))
        return false;
    const uint8_t* p = record.GetData() + nCursor;
    nValue = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
             static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    nCursor += 4;
    return true;
}

bool ReadUInt8(const CMyByteArray& record, uint32_t& nCursor, uint8_t& nValue)
{
    nValue = 0;
    if (!Fits(record, nCursor, 1))
        return false;
    nValue = record.GetData()[nCursor];
    nCursor += 1;
    return true;
}

bool ReadString(const CMyByteArray& record, uint32_t& nCursor, WString& sValue)
{
    sValue.clear();
    uint32_t nBytes = 0;
    if (!Fits(record, nCursor, 4) || !ReadUInt32(record, nCursor, nBytes))
        return false;
    if (nBytes > record.GetSize() - nCursor)
        return false;
    // N bytes into N zeroed characters: an odd or absent terminator still
    // ends in zeros, so the scan below is bounded either way.
    std::vector<uint16_t> text(nBytes, 0);
    const uint8_t* p = record.GetData() + nCursor;
    for (uint32_t i = 0; i + 1 < nBytes; i += 2)
        text[i / 2] = static_cast<uint16_t>(p[i] | p[i + 1] << 8);
    if (nBytes % 2 != 0)
        text[nBytes / 2] = p[nBytes - 1];
    uint32_t nChars = 0;
    while (nChars < nBytes && text[nChars] != 0)
        ++nChars;
    if (nBytes == 0 || nChars != (nBytes - 1) / 2)
        return false;
    sValue.assign(text.begin(), text.begin() + nChars);
    nCursor += nBytes;
    return true;
}
