#include "pal/registry/RegCalls.h"

#include <algorithm>

#include "pal/registry/CHiveFile.h"
#include "pal/registry/registry.h"

namespace pal::registry {

namespace {

constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

}  // namespace

REGSAM GrantedAccess(REGSAM desired, bool writable)
{
    REGSAM access =
        desired & ~(KEY_WOW64_RES | GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL |
                    MAXIMUM_ALLOWED);
    if (desired & (GENERIC_READ | GENERIC_EXECUTE))
        access |= KEY_READ;
    if (desired & GENERIC_WRITE)
        access |= KEY_WRITE;
    if (desired & GENERIC_ALL)
        access |= KEY_ALL_ACCESS;
    if (desired & MAXIMUM_ALLOWED)
        access |= writable ? KEY_ALL_ACCESS : KEY_READ;
    return access;
}

bool WantsWrite(REGSAM access) { return (access & kWriteRights) != 0; }

bool WritabilityMatters(REGSAM desired)
{
    return (desired & MAXIMUM_ALLOWED) != 0 || WantsWrite(GrantedAccess(desired, true));
}

LSTATUS RequireAccess(const KeyRef& ref, REGSAM needed)
{
    return (ref.access & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LSTATUS LoadKey(const KeyRef& ref, std::shared_ptr<const CKeyNode>& tree, const CKeyNode*& node)
{
    if (const LSTATUS status = CHiveFile(ref.hive).Load(tree))
        return status;
    node = tree->Find(ref.path);
    return node ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

LSTATUS CopyData(const std::vector<uint8_t>& bytes, LPBYTE data, LPDWORD size)
{
    const auto needed = static_cast<DWORD>(bytes.size());
    if (data) {
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        std::copy(bytes.begin(), bytes.end(), data);
    }
    if (size)
        *size = needed;
    return ERROR_SUCCESS;
}

}  // namespace pal::registry
