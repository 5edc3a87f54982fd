// One hive on disk: lock-free reads through the process cache, and updates
// that are atomic across threads and processes (lock, re-read, change, write
// a temporary file, flush, rename over the hive).
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "pal/base/wintypes.h"
#include "pal/registry/CKeyNode.h"
#include "pal/registry/HiveLocation.h"

namespace pal::registry {

struct FileStamp;

class CHiveFile {
public:
    // The location is taken from the settings now, as Windows answers afresh.
    explicit CHiveFile(HiveId hive);

    // A missing file is an empty hive; a corrupt one gives ERROR_BADDB.
    LSTATUS Load(std::shared_ptr<const CKeyNode>& tree) const;

    // Runs `change` on a private copy of the current tree; the copy is written
    // only when the change succeeds and says it modified something.
    using Change = std::function<LSTATUS(CKeyNode& root, bool& modified)>;
    LSTATUS Update(const Change& change) const;

private:
    LSTATUS _Load(std::shared_ptr<const CKeyNode>& tree, int64_t& mtimeNs) const;
    LSTATUS _Write(const std::string& text, int64_t previousMtimeNs, FileStamp& written) const;

    HiveId m_eHive;
    std::string m_sPath;
};

}  // namespace pal::registry
