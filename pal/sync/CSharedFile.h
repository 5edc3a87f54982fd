// A block of memory that processes share by name, backed by a file. Every
// process using the block holds an OFD read lock on the file, so the block
// lives exactly as long as someone uses it: whoever finds no other holder
// (its write lock succeeds) initialises it afresh, and the last one out
// removes the file. A crashed holder loses its lock with its descriptors.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "pal/base/wintypes.h"

namespace pal {

class CSharedFile {
public:
    // Fills a zeroed block; the first 32-bit word is reserved for the magic
    // number, which is written last so that a half-made block is never used.
    using Initialiser = std::function<void(void* block)>;
    enum class EOpen { CreateOrJoin, JoinOnly };

    CSharedFile() = default;
    ~CSharedFile();
    CSharedFile(const CSharedFile&) = delete;
    CSharedFile& operator=(const CSharedFile&) = delete;

    // ERROR_FILE_NOT_FOUND for JoinOnly when nobody holds the block;
    // ERROR_INVALID_HANDLE when the file holds another kind of block.
    DWORD Open(const std::string& path, size_t size, uint32_t magic, const Initialiser& initialise,
               EOpen mode, bool& existed);
    // A block private to this process.
    DWORD OpenPrivate(size_t size, const Initialiser& initialise);

    void* Block() const { return m_pBlock; }

private:
    DWORD _Join(int fd, const std::string& path, size_t size, uint32_t magic,
                const Initialiser& initialise, EOpen mode, bool& existed);
    bool _Map(int fd, size_t size);

    std::string m_sPath;
    int m_iFd = -1;
    void* m_pBlock = nullptr;
    size_t m_nSize = 0;
};

}  // namespace pal
