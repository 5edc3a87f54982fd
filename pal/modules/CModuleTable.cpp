#include "pal/modules/CModuleTable.h"

#include <dlfcn.h>
#include <link.h>

#include "pal/base/lasting.h"
#include "pal/modules/loadedobjects.h"

namespace pal {

namespace {

HMODULE BaseOfLibrary(void* library)
{
    link_map* map = nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || !map)
        return nullptr;
    // l_addr is only the load bias; the dynamic section lies inside the mapping.
    return static_cast<HMODULE>(ObjectBaseOf(map->l_ld));
}

}  // namespace

CModuleTable& CModuleTable::Instance() { return CLasting<CModuleTable>::Get(); }

void CModuleTable::Quiesce() const
{
    std::lock_guard<std::mutex> guard(m_oLock);
}

HMODULE CModuleTable::Add(void* library)
{
    const HMODULE module = BaseOfLibrary(library);
    if (!module)
        return nullptr;
    std::lock_guard<std::mutex> guard(m_oLock);
    ++m_mapModules.try_emplace(module, SModule{library, 0}).first->second.refs;
    return module;
}

void* CModuleTable::Release(HMODULE module)
{
    std::lock_guard<std::mutex> guard(m_oLock);
    const auto it = m_mapModules.find(module);
    if (it == m_mapModules.end())
        return nullptr;
    void* const library = it->second.library;
    if (--it->second.refs == 0)
        m_mapModules.erase(it);
    return library;
}

void* CModuleTable::Find(HMODULE module) const
{
    std::lock_guard<std::mutex> guard(m_oLock);
    const auto it = m_mapModules.find(module);
    return it == m_mapModules.end() ? nullptr : it->second.library;
}

}  // namespace pal
