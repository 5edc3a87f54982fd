#include "KeyTree.h"

#include "CKey.h"
#include "Platform.h"

namespace vreg {
namespace {

void _ReadKey(const CKey& key, const std::u16string& sFullName, REGSAM nView,
              regtext::Document& document)
{
    regtext::Key entry;
    entry.path = sFullName;
    entry.values = key.Values();
    document.keys.push_back(std::move(entry));
    for (const std::u16string& sName : key.SubKeyNames()) {
        CKey child;
        const LSTATUS nStatus = child.Open(key.Get(), sName, KEY_READ | nView);
        if (nStatus == ERROR_FILE_NOT_FOUND)
            continue;  // deleted by someone else meanwhile
        if (nStatus != ERROR_SUCCESS)
            FailStatus(nStatus);
        _ReadKey(child, sFullName + u'\\' + sName, nView, document);
    }
}

// The parent's access rights do not matter to the delete itself.
LSTATUS _DeleteChild(const CKey& parent, const std::u16string& sName, REGSAM nView)
{
    {
        CKey child;
        const LSTATUS nStatus = child.Open(parent.Get(), sName, KEY_READ | nView);
        if (nStatus != ERROR_SUCCESS)
            return nStatus;
        for (const std::u16string& sChild : child.SubKeyNames()) {
            const LSTATUS nChildStatus = _DeleteChild(child, sChild, nView);
            if (nChildStatus != ERROR_SUCCESS && nChildStatus != ERROR_FILE_NOT_FOUND)
                return nChildStatus;
        }
    }
    return DeleteSubKey(parent.Get(), sName, nView);
}

}  // namespace

void ReadTree(const CKeyPath& path, REGSAM nView, regtext::Document& document)
{
    CKey key;
    const LSTATUS nStatus = key.Open(path.m_hRoot, path.m_sSubKey, KEY_READ | nView);
    if (nStatus != ERROR_SUCCESS)
        FailStatus(nStatus);
    _ReadKey(key, path.FullName(), nView, document);
}

LSTATUS DeleteTree(const CKeyPath& path, REGSAM nView)
{
    CKey parent;
    const LSTATUS nStatus = parent.Open(path.m_hRoot, path.ParentSubKey(), KEY_READ | nView);
    if (nStatus != ERROR_SUCCESS)
        return nStatus;
    return _DeleteChild(parent, path.LeafName(), nView);
}

}  // namespace vreg
