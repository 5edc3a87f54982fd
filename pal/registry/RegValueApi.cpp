// RegQueryValueExW, RegSetValueExW, RegDeleteValueW, RegEnumValueW.
#include "pal/registry/CHiveFile.h"
#include "pal/registry/RegCalls.h"
#include "pal/registry/registry.h"
#include "pal/text/text.h"

using namespace pal::registry;

namespace {

std::u16string_view ValueName(LPCWSTR name)
{
    return name ? std::u16string_view(name) : std::u16string_view();
}

// The handle's key from a readable hive, or why not.
LSTATUS OpenForCall(HKEY key, REGSAM needed, KeyRef& ref, std::shared_ptr<const CKeyNode>& tree,
                    const CKeyNode*& node)
{
    if (const LSTATUS status = ResolveKey(key, ref))
        return status;
    if (const LSTATUS status = RequireAccess(ref, needed))
        return status;
    return LoadKey(ref, tree, node);
}

LSTATUS ChangeKey(const KeyRef& ref, const std::function<bool(CKeyNode&)>& change)
{
    if (!HiveWritable(ref.hive))
        return ERROR_ACCESS_DENIED;
    return CHiveFile(ref.hive).Update([&](CKeyNode& root, bool& modified) {
        CKeyNode* node = root.Find(ref.path);
        if (!node)
            return ERROR_KEY_DELETED;
        modified = change(*node);
        return ERROR_SUCCESS;
    });
}

}  // namespace

LSTATUS WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                                LPBYTE data, LPDWORD dataSize)
{
    if (reserved || (data && !dataSize))
        return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    std::shared_ptr<const CKeyNode> tree;
    const CKeyNode* node = nullptr;
    if (const LSTATUS status = OpenForCall(key, KEY_QUERY_VALUE, ref, tree, node))
        return status;
    const regtext::Value* value = node->FindValue(ValueName(valueName));
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = value->type;
    return CopyData(value->data, data, dataSize);
}

LSTATUS WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data,
                              DWORD dataSize)
{
    if (!data && dataSize != 0)
        return ERROR_NOACCESS;
    if (ValueName(valueName).size() > kMaxValueNameLength)
        return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    std::shared_ptr<const CKeyNode> tree;
    const CKeyNode* node = nullptr;
    if (const LSTATUS status = OpenForCall(key, KEY_SET_VALUE, ref, tree, node))
        return status;
    const std::vector<uint8_t> bytes =
        data ? std::vector<uint8_t>(data, data + dataSize) : std::vector<uint8_t>();
    const std::u16string_view name = ValueName(valueName);
    return ChangeKey(ref, [&](CKeyNode& target) { return target.SetValue(name, type, bytes); });
}

LSTATUS WINAPI RegDeleteValueW(HKEY key, LPCWSTR valueName)
{
    KeyRef ref;
    std::shared_ptr<const CKeyNode> tree;
    const CKeyNode* node = nullptr;
    if (const LSTATUS status = OpenForCall(key, KEY_SET_VALUE, ref, tree, node))
        return status;
    const std::u16string_view name = ValueName(valueName);
    if (!node->FindValue(name))
        return ERROR_FILE_NOT_FOUND;
    bool removed = false;
    const LSTATUS status = ChangeKey(ref, [&](CKeyNode& target) {
        removed = target.RemoveValue(name);
        return removed;
    });
    // Another writer may have removed it between the look and the lock.
    return status == ERROR_SUCCESS && !removed ? ERROR_FILE_NOT_FOUND : status;
}

LSTATUS WINAPI RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength,
                             LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize)
{
    if (reserved || !name || !nameLength || (data && !dataSize))
        return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    std::shared_ptr<const CKeyNode> tree;
    const CKeyNode* node = nullptr;
    if (const LSTATUS status = OpenForCall(key, KEY_QUERY_VALUE, ref, tree, node))
        return status;
    if (index >= node->Values().size())
        return ERROR_NO_MORE_ITEMS;
    const regtext::Value& value = node->Values()[index];
    if (type)
        *type = value.type;
    // A name that does not fit leaves name and data untouched but still
    // reports the data size, as Windows does.
    if (value.name.size() >= *nameLength) {
        if (dataSize)
            *dataSize = static_cast<DWORD>(value.data.size());
        return ERROR_MORE_DATA;
    }
    *nameLength = static_cast<DWORD>(pal::CopyToBuffer(value.name, name, *nameLength));
    return CopyData(value.data, data, dataSize);
}
