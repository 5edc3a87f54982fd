// Thread names as a debugger shows them: the Linux thread name, which the
// kernel cuts to 15 bytes.
#pragma once
#include <string>

#include "pal/base/wintypes.h"

namespace pal {

// threadId (DWORD)-1 is the calling thread; any other live thread of this
// process can be named too. False when there is no such thread.
bool NameThread(DWORD threadId, const std::string& name);

}  // namespace pal
