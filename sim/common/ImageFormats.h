// The format readers behind ReadGreyImage; each gets the whole file and
// refuses like it.
#pragma once
#include <cstdint>
#include <string>

#include "sim/common/CGreyImage.h"

namespace vsim {

bool ReadPgm(const std::string& bytes, CGreyImage& out, std::string& why);
bool ReadBmp(const std::string& bytes, CGreyImage& out, std::string& why);

// A picture of this size may be allocated; otherwise `why` says why not.
bool CheckImageSize(uint64_t nWidth, uint64_t nHeight, std::string& why);

}  // namespace vsim
