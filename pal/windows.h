// The Win32 subset that the library uses, on POSIX. Included only through
// src/support/Win32.h.
#pragma once
#include "pal/base/handles.h"
#include "pal/base/settings.h"
#include "pal/base/wintypes.h"
#include "pal/crypto/crypto.h"
#include "pal/files/files.h"
#include "pal/memory/memory.h"
#include "pal/modules/modules.h"
#include "pal/registry/registry.h"
#include "pal/services/services.h"
#include "pal/sync/sync.h"
#include "pal/system/system.h"
#include "pal/text/text.h"
#include "pal/threads/threads.h"
#include "pal/wts/channel.h"
#include "pal/wts/wts.h"
