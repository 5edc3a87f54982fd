// One named section of an ELF file (32- or 64-bit, little-endian), read
// without loading the file. Hostile or truncated files fail cleanly.
#pragma once
#include <string>
#include <vector>

#include "pal/base/wintypes.h"

namespace pal {

// ERROR_SUCCESS with the section's bytes; ERROR_RESOURCE_TYPE_NOT_FOUND when
// the file has no such section; ERROR_BAD_FORMAT when it is no sound ELF file
// or the section is empty or larger than `maxSize`; the open error otherwise.
DWORD ReadElfSection(const std::string& posixPath, const std::string& name, size_t maxSize,
                     std::vector<unsigned char>& bytes);

}  // namespace pal
