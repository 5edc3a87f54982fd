// Readers of fields in stored records (little-endian integers and counted
// UTF-16LE strings). Each clears its output first, reads at the cursor and
// advances it only on success.
#pragma once
#include <cstdint>

#include "support/CMyByteArray.h"
#include "support/Win32.h"

bool ReadUInt32(const CMyByteArray& record, uint32_t& nCursor, uint32_t& nValue);
bool ReadUInt8(const CMyByteArray& record, uint32_t& nCursor, uint8_t& nValue);
// A 32-bit byte length N, then N bytes of text ending in its only 0x0000.
bool ReadString(const CMyByteArray& record, uint32_t& nCursor, WString& sValue);
