// The text of a hive file: the registry editor's format closed by a trailer
// line, so that a file cut short is told from a complete one.
#pragma once
#include <memory>
#include <string>

#include "pal/registry/CKeyNode.h"
#include "pal/registry/HiveLocation.h"

namespace pal::registry {

// Null when the text is corrupt: it does not parse, lacks the trailer, names
// keys of another root or nests deeper than the registry allows; `why` then
// says which, with the line where there is one.
std::unique_ptr<CKeyNode> ReadHiveText(const std::string& bytes, HiveId hive, std::string& why);
std::string WriteHiveText(const CKeyNode& root, HiveId hive);

}  // namespace pal::registry
