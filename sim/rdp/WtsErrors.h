// The Win32 codes of the channel's session side that pal's common list lacks.
#pragma once
#include "pal/base/wintypes.h"

#ifndef ERROR_BROKEN_PIPE
#define ERROR_BROKEN_PIPE 109L
#endif
