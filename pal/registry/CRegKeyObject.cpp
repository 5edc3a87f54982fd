#include "pal/registry/CRegKeyObject.h"

#include "pal/registry/registry.h"

namespace pal::registry {

namespace {

// Only the low 32 bits name a predefined root, as on 64-bit Windows.
bool PredefinedHive(HKEY key, HiveId& hive)
{
    const auto value = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
    switch (value) {
    case 0x80000000u: hive = HiveId::ClassesRoot; return true;
    case 0x80000001u: hive = HiveId::CurrentUser; return true;
    case 0x80000002u: hive = HiveId::LocalMachine; return true;
    case 0x80000003u: hive = HiveId::Users; return true;
    default: return false;
    }
}

}  // namespace

CRegKeyObject::CRegKeyObject(HiveId hive, std::vector<std::u16string> path, REGSAM access,
                             bool redirected)
    : m_eHive(hive), m_vPath(std::move(path)), m_nAccess(access), m_bRedirected(redirected)
{
}

bool IsPredefinedKey(HKEY key)
{
    HiveId hive;
    return PredefinedHive(key, hive);
}

LSTATUS ResolveKey(HKEY key, KeyRef& ref)
{
    if (PredefinedHive(key, ref.hive)) {
        ref.path.clear();
        ref.access = KEY_ALL_ACCESS;
        ref.predefined = true;
        return ERROR_SUCCESS;
    }
    const auto object = FindHandleOf<CRegKeyObject>(key);
    if (!object)
        return ERROR_INVALID_HANDLE;
    ref.hive = object->Hive();
    ref.path = object->Path();
    ref.access = object->Access();
    ref.predefined = false;
    return ERROR_SUCCESS;
}

HKEY InsertKeyHandle(HiveId hive, std::vector<std::u16string> path, REGSAM access,
                     bool redirected)
{
    return static_cast<HKEY>(InsertHandle(
        std::make_shared<CRegKeyObject>(hive, std::move(path), access, redirected)));
}

}  // namespace pal::registry
