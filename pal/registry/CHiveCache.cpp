#include "pal/registry/CHiveCache.h"

#include "pal/base/lasting.h"

namespace pal::registry {

namespace {

// Tests switch registry folders often; old entries are dropped past this.
constexpr size_t kMaxEntries = 16;

}  // namespace

FileStamp FileStamp::Of(const struct stat& info)
{
    FileStamp stamp;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = info.st_size;
    stamp.mtimeNs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return stamp;
}

bool FileStamp::operator==(const FileStamp& other) const
{
    return device == other.device && inode == other.inode && size == other.size &&
           mtimeNs == other.mtimeNs;
}

CHiveCache& CHiveCache::Instance()
{
    return pal::CLasting<CHiveCache>::Get();
}

bool CHiveCache::Find(const std::string& path, const FileStamp& stamp,
                      std::shared_ptr<const CKeyNode>& tree)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const auto it = m_mEntries.find(path);
    if (it == m_mEntries.end() || !(it->second.stamp == stamp))
        return false;
    tree = it->second.tree;
    return true;
}

void CHiveCache::Store(const std::string& path, const FileStamp& stamp,
                       std::shared_ptr<const CKeyNode> tree)
{
    std::shared_ptr<const CKeyNode> previous;  // freed outside the lock
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_mEntries.size() >= kMaxEntries && !m_mEntries.count(path))
        m_mEntries.clear();
    Entry& entry = m_mEntries[path];
    previous = std::move(entry.tree);
    entry = {stamp, std::move(tree)};
}

}  // namespace pal::registry
