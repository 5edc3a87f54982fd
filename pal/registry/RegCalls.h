// Steps shared by the registry functions: access rights, finding a handle's
// key, and the Win32 rule for returning data into a caller's buffer.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "pal/base/wintypes.h"
#include "pal/registry/CKeyNode.h"
#include "pal/registry/CRegKeyObject.h"

namespace pal::registry {

// Generic rights and MAXIMUM_ALLOWED mapped to key rights; view flags dropped.
REGSAM GrantedAccess(REGSAM desired, bool writable);
bool WantsWrite(REGSAM access);
// Whether the hive's writability changes what a request for `desired` gets;
// asking costs system calls, so reads of existing keys skip it.
bool WritabilityMatters(REGSAM desired);
LSTATUS RequireAccess(const KeyRef& ref, REGSAM needed);

// The hive of `ref` and its key: ERROR_BADDB, or ERROR_KEY_DELETED when the
// key is gone.
LSTATUS LoadKey(const KeyRef& ref, std::shared_ptr<const CKeyNode>& tree, const CKeyNode*& node);

// Stores the size always; copies only into a buffer large enough, else
// ERROR_MORE_DATA with the needed size. `size` may be null when `data` is.
LSTATUS CopyData(const std::vector<uint8_t>& bytes, LPBYTE data, LPDWORD size);

}  // namespace pal::registry
