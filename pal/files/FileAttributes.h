// Win32 attributes of a POSIX file mode, shared by the attribute queries.
#pragma once
#include <sys/stat.h>

#include "pal/files/files.h"

namespace pal {

inline DWORD AttributesOfMode(mode_t mode)
{
    // FIFOs, sockets and devices have no Windows counterpart in a file path;
    // the device attribute tells callers they are not files to read.
    DWORD attributes = S_ISDIR(mode)   ? FILE_ATTRIBUTE_DIRECTORY
                       : S_ISREG(mode) ? 0
                                       : FILE_ATTRIBUTE_DEVICE;
    if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

}  // namespace pal
