// Whole subtrees: reading one for export and query /s, deleting one.
#pragma once
#include "CKeyPath.h"
#include "regtext/RegText.h"

namespace vreg {

// Appends the key and every key below it, parents before children, each
// with its values; throws CToolError when the key is missing or unreadable.
void ReadTree(const CKeyPath& path, REGSAM nView, regtext::Document& document);

// Deletes the key and everything below it, children first, as RegDeleteKeyW
// removes only keys without subkeys. ERROR_FILE_NOT_FOUND for a missing key.
LSTATUS DeleteTree(const CKeyPath& path, REGSAM nView);

}  // namespace vreg
