// Win32 attributes of a POSIX file mode, shared by the attribute queries.
#pragma once
#include <sys/stat.h>

#include "pal/files/files.h"

namespace pal {

inline DWORD AttributesOfMode(mode_t mode)
{
    DWORD attributes = S_ISDIR(mode) ? FILE_ATTRIBUTE_DIRECTORY : 0;
    if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

}  // namespace pal
