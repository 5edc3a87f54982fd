// A key named from the command line or a .reg file: root, then subkey path.
#pragma once
#include <string>

#include "support/Win32.h"

namespace vreg {

struct CKeyPath {
    HKEY m_hRoot = nullptr;
    std::u16string m_sRootName;  // the long name, HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER
    std::u16string m_sSubKey;    // empty for the root itself

    std::u16string FullName() const;
    // The path up to the last '\' and the last name; the parent of a key
    // directly under the root has an empty path.
    std::u16string ParentSubKey() const;
    std::u16string LeafName() const;
};

// HKLM, HKCU or their long names in any case, then optional "\sub\key".
// Returns an empty message on success, otherwise why the name is wrong.
std::u16string ParseKeyPath(const std::u16string& sText, CKeyPath& path);
// The same for a command-line argument; throws CToolError.
CKeyPath KeyPathFromArgument(const std::u16string& sText);

}  // namespace vreg
