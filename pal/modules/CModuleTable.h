// Modules loaded through LoadLibraryW, with Windows' reference counts, so
// that a stale or foreign HMODULE is refused instead of reaching dlclose.
#pragma once
#include <map>
#include <mutex>

#include "pal/base/wintypes.h"

namespace pal {

class CModuleTable {
public:
    static CModuleTable& Instance();

    // Counts one more load of a dlopen handle; returns the module's handle
    // (its base address), or null when the loader cannot say where it is.
    HMODULE Add(void* library);
    // Counts one load less; the dlopen handle to close, null when unknown.
    void* Release(HMODULE module);
    // The dlopen handle of a live module, or null.
    void* Find(HMODULE module) const;
    // Waits for a change under way; the table is released after it.
    void Quiesce() const;

private:
    struct SModule {
        void* library;
        unsigned refs;
    };
    mutable std::mutex m_oLock;
    std::map<HMODULE, SModule> m_mapModules;
};

}  // namespace pal
