// Images whose width is not a multiple of 16 are widened before they are
// stored: the rows are centred between white columns, the odd one on the
// right. The ATSC70 and the AuthenTec service drivers share it.
#pragma once
#include <cstdint>

#include "support/CMyByteArray.h"

uint32_t WidenedWidth(uint32_t nWidth);
// nWidth × nHeight pixels in, WidenedWidth(nWidth) × nHeight out.
CMyByteArray WidenRows(const uint8_t* pPixels, uint32_t nWidth, uint32_t nHeight);
