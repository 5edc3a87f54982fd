// An open registry key as a pal handle, and what any HKEY stands for.
#pragma once
#include <string>
#include <vector>

#include "pal/base/handles.h"
#include "pal/registry/HiveLocation.h"

namespace pal::registry {

// Remembers the key by its path below the root, as resolved in the view of
// the call that opened it; a key deleted meanwhile is noticed on use.
class CRegKeyObject : public CKernelObject {
public:
    CRegKeyObject(HiveId hive, std::vector<std::u16string> path, REGSAM access, bool redirected);

    HiveId Hive() const { return m_eHive; }
    const std::vector<std::u16string>& Path() const { return m_vPath; }
    REGSAM Access() const { return m_nAccess; }
    bool Redirected() const { return m_bRedirected; }

private:
    HiveId m_eHive;
    std::vector<std::u16string> m_vPath;
    REGSAM m_nAccess;
    bool m_bRedirected;
};

// An HKEY resolved: a predefined root (all rights) or an open key.
struct KeyRef {
    HiveId hive = HiveId::LocalMachine;
    std::vector<std::u16string> path;
    REGSAM access = 0;
    bool predefined = false;
};

// ERROR_INVALID_HANDLE for null, closed and foreign handles.
LSTATUS ResolveKey(HKEY key, KeyRef& ref);
bool IsPredefinedKey(HKEY key);
HKEY InsertKeyHandle(HiveId hive, std::vector<std::u16string> path, REGSAM access,
                     bool redirected);

}  // namespace pal::registry
