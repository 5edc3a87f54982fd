// RegOpenKeyExW, RegCreateKeyExW, RegDeleteKey(Ex)W, RegEnumKeyExW, RegCloseKey.
#include "pal/registry/CHiveFile.h"
#include "pal/registry/RegCalls.h"
#include "pal/registry/RegName.h"
#include "pal/registry/RegView.h"
#include "pal/registry/registry.h"
#include "pal/text/text.h"

using namespace pal::registry;

namespace {

bool StartsWithSeparator(LPCWSTR subKey) { return subKey && subKey[0] == u'\\'; }

// Line breaks cannot be written into a hive file's key headers.
bool StorableKeyName(LPCWSTR subKey)
{
    for (LPCWSTR c = subKey; c && *c; ++c) {
        if (*c == u'\r' || *c == u'\n')
            return false;
    }
    return true;
}

std::vector<std::u16string> SubKeyParts(LPCWSTR subKey)
{
    return SplitPath(subKey ? std::u16string_view(subKey) : std::u16string_view());
}

// The full path of `parts` below the parent, in the view of this call. An
// empty sub-key names the parent itself, which is not redirected again.
std::vector<std::u16string> TargetPath(const KeyRef& parent,
                                       const std::vector<std::u16string>& parts, bool redirected)
{
    std::vector<std::u16string> path = parent.path;
    if (parts.empty())
        return path;
    path.insert(path.end(), parts.begin(), parts.end());
    RedirectPath(parent.hive, path, redirected);
    return path;
}

// Checks shared by open and create, in the order Windows applies them.
LSTATUS PrepareOpen(HKEY key, LPCWSTR subKey, REGSAM desired, KeyRef& parent,
                    std::shared_ptr<const CKeyNode>& tree)
{
    if (const LSTATUS status = ResolveKey(key, parent))
        return status;
    if (const LSTATUS status = CheckViewFlags(desired))
        return status;
    if (StartsWithSeparator(subKey))
        return ERROR_BAD_PATHNAME;
    const CKeyNode* node = nullptr;
    return LoadKey(parent, tree, node);
}

LSTATUS CreatePath(const KeyRef& parent, const std::vector<std::u16string>& path,
                   bool& created)
{
    return CHiveFile(parent.hive).Update([&](CKeyNode& root, bool& modified) {
        if (!root.Find(parent.path))
            return ERROR_KEY_DELETED;
        CKeyNode* node = &root;
        for (const std::u16string& part : path) {
            bool added = false;
            node = &node->AddChild(part, added);
            modified = modified || added;
        }
        created = modified;
        return ERROR_SUCCESS;
    });
}

LSTATUS RemoveLeaf(const KeyRef& parent, const std::vector<std::u16string>& path)
{
    return CHiveFile(parent.hive).Update([&](CKeyNode& root, bool& modified) {
        if (!root.Find(parent.path))
            return ERROR_KEY_DELETED;
        const CKeyNode* target = root.Find(path);
        if (!target)
            return ERROR_FILE_NOT_FOUND;
        if (target->ChildCount() != 0)
            return ERROR_ACCESS_DENIED;
        std::vector<std::u16string> above(path.begin(), path.end() - 1);
        modified = root.Find(above)->RemoveChild(path.back());
        return ERROR_SUCCESS;
    });
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM desired, PHKEY result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    KeyRef parent;
    std::shared_ptr<const CKeyNode> tree;
    if (const LSTATUS status = PrepareOpen(key, subKey, desired, parent, tree))
        return status;
    const std::vector<std::u16string> parts = SubKeyParts(subKey);
    if (parts.empty() && parent.predefined) {
        *result = key;  // Windows answers a root with the root itself
        return ERROR_SUCCESS;
    }
    const bool redirected = UsesRedirectedView(desired);
    std::vector<std::u16string> path = TargetPath(parent, parts, redirected);
    if (!tree->Find(path))
        return ERROR_FILE_NOT_FOUND;
    const bool writable = WritabilityMatters(desired) && HiveWritable(parent.hive);
    const REGSAM access = GrantedAccess(desired, writable);
    if (!writable && WantsWrite(access))
        return ERROR_ACCESS_DENIED;
    *result = InsertKeyHandle(parent.hive, std::move(path), access, redirected);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD options,
                               REGSAM desired, const SECURITY_ATTRIBUTES*, PHKEY result,
                               LPDWORD disposition)
{
    if (!result)
        return ERROR_BADKEY;
    *result = nullptr;
    if ((options & ~REG_LEGAL_OPTION) != 0 || !StorableKeyName(subKey))
        return ERROR_INVALID_PARAMETER;
    KeyRef parent;
    std::shared_ptr<const CKeyNode> tree;
    if (const LSTATUS status = PrepareOpen(key, subKey, desired, parent, tree))
        return status;
    const std::vector<std::u16string> parts = SubKeyParts(subKey);
    const bool redirected = UsesRedirectedView(desired);
    std::vector<std::u16string> path = TargetPath(parent, parts, redirected);
    if (path.size() > kMaxKeyDepth)
        return ERROR_INVALID_PARAMETER;
    for (const std::u16string& part : parts) {
        if (part.size() > kMaxKeyNameLength)
            return ERROR_INVALID_PARAMETER;
    }
    const bool exists = tree->Find(path) != nullptr;
    const bool writable = (!exists || WritabilityMatters(desired)) && HiveWritable(parent.hive);
    const REGSAM access = GrantedAccess(desired, writable);
    bool created = false;
    if (!exists) {
        if (!writable)
            return ERROR_ACCESS_DENIED;
        if (const LSTATUS status = CreatePath(parent, path, created))
            return status;
    } else if (!writable && WantsWrite(access)) {
        return ERROR_ACCESS_DENIED;
    }
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = parts.empty() && parent.predefined
                  ? key
                  : InsertKeyHandle(parent.hive, std::move(path), access, redirected);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteKeyExW(HKEY key, LPCWSTR subKey, REGSAM desired, DWORD reserved)
{
    if (!subKey || reserved != 0)
        return ERROR_INVALID_PARAMETER;
    if (const LSTATUS status = CheckViewFlags(desired))
        return status;
    KeyRef parent;
    if (const LSTATUS status = ResolveKey(key, parent))
        return status;
    if (StartsWithSeparator(subKey))
        return ERROR_BAD_PATHNAME;
    const std::vector<std::u16string> parts = SubKeyParts(subKey);
    // An empty name deletes the handle's own key, which needs DELETE on it.
    if (parts.empty() && (parent.predefined || !(parent.access & DELETE)))
        return ERROR_ACCESS_DENIED;
    const std::vector<std::u16string> path =
        TargetPath(parent, parts, UsesRedirectedView(desired));
    std::shared_ptr<const CKeyNode> tree;
    const CKeyNode* node = nullptr;
    if (const LSTATUS status = LoadKey(parent, tree, node))
        return status;
    const CKeyNode* target = tree->Find(path);
    if (!target)
        return ERROR_FILE_NOT_FOUND;
    if (target->ChildCount() != 0 || !HiveWritable(parent.hive))
        return ERROR_ACCESS_DENIED;
    return RemoveLeaf(parent, path);
}

// No view flags: the process's own view, as a 32-bit program on 64-bit
// Windows gets.
LSTATUS WINAPI RegDeleteKeyW(HKEY key, LPCWSTR subKey)
{
    return RegDeleteKeyExW(key, subKey, 0, 0);
}

LSTATUS WINAPI RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength,
                             LPDWORD reserved, LPWSTR keyClass, LPDWORD classLength,
                             PFILETIME lastWriteTime)
{
    if (reserved || !name || !nameLength || (keyClass && !classLength))
        return ERROR_INVALID_PARAMETER;
    KeyRef ref;
    if (const LSTATUS status = ResolveKey(key, ref))
        return status;
    if (const LSTATUS status = RequireAccess(ref, KEY_ENUMERATE_SUB_KEYS))
        return status;
    std::shared_ptr<const CKeyNode> tree;
    const CKeyNode* node = nullptr;
    if (const LSTATUS status = LoadKey(ref, tree, node))
        return status;
    if (index >= node->ChildCount())
        return ERROR_NO_MORE_ITEMS;
    const std::u16string& childName = node->ChildAt(index).Name();
    if (childName.size() >= *nameLength || (keyClass && *classLength == 0))
        return ERROR_MORE_DATA;
    *nameLength = static_cast<DWORD>(pal::CopyToBuffer(childName, name, *nameLength));
    if (keyClass) {
        keyClass[0] = 0;  // keys have no class here
        *classLength = 0;
    }
    if (lastWriteTime)
        *lastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY key)
{
    if (IsPredefinedKey(key))
        return ERROR_SUCCESS;
    if (!pal::FindHandleOf<CRegKeyObject>(key))
        return ERROR_INVALID_HANDLE;
    pal::RemoveHandle(key);
    return ERROR_SUCCESS;
}
