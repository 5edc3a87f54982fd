// Parsed hives of this process, reused while their file stays the same.
#pragma once
#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "pal/registry/CKeyNode.h"

namespace pal::registry {

// Identity of one version of a hive file. Writers give every version a
// strictly later modification time, so a reused inode cannot pass as old.
struct FileStamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t mtimeNs = 0;

    static FileStamp Of(const struct stat& info);
    bool operator==(const FileStamp& other) const;
};

class CHiveCache {
public:
    // Waits out any change in progress; used before the cache is released.
    void Quiesce()
    {
        std::lock_guard<std::mutex> guard(m_lock);
    }

    static CHiveCache& Instance();

    // A null tree found here means the file was seen to be corrupt.
    bool Find(const std::string& path, const FileStamp& stamp,
              std::shared_ptr<const CKeyNode>& tree);
    void Store(const std::string& path, const FileStamp& stamp,
               std::shared_ptr<const CKeyNode> tree);

private:
    struct Entry {
        FileStamp stamp;
        std::shared_ptr<const CKeyNode> tree;
    };

    std::mutex m_lock;
    std::map<std::string, Entry> m_mEntries;
};

}  // namespace pal::registry
