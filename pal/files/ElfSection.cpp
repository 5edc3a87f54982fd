#include "pal/files/ElfSection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "pal/files/PathErrors.h"

namespace {

constexpr unsigned char kMagic[] = {0x7F, 'E', 'L', 'F'};
constexpr unsigned kClass32 = 1, kClass64 = 2, kLittleEndian = 1, kCurrentVersion = 1;
constexpr unsigned kSectionNoBits = 8;  // SHT_NOBITS: occupies no file bytes
constexpr unsigned kExtendedIndex = 0xFFFF;  // SHN_XINDEX
constexpr uint64_t kMaxTable = 64u << 20;  // far beyond any real section or name table

uint64_t Le(const unsigned char* p, size_t width)
{
    uint64_t value = 0;
    for (size_t i = width; i-- > 0;)
        value = (value << 8) | p[i];
    return value;
}

struct SectionHeader {
    uint64_t name = 0, type = 0, offset = 0, size = 0, link = 0;
};

// Field offsets differ between the two classes; sizes of address-wide fields too.
struct ElfLayout {
    size_t header, shoff, shentsize, shnum, shstrndx, word;
    size_t section, secOffset, secSize, secLink;
};
constexpr ElfLayout kElf32 = {52, 32, 46, 48, 50, 4, 40, 16, 20, 24};
constexpr ElfLayout kElf64 = {64, 40, 58, 60, 62, 8, 64, 24, 32, 40};

class CElfFile {
public:
    CElfFile(int fd, uint64_t size) : m_iFd(fd), m_nSize(size) {}

    DWORD Find(const std::string& name, SectionHeader& found);
    bool Read(uint64_t offset, uint64_t count, std::vector<unsigned char>& into) const;

private:
    bool _ReadHeader();
    std::optional<SectionHeader> _Section(uint64_t index) const;
    bool _Fits(uint64_t offset, uint64_t count) const
    {
        return offset <= m_nSize && count <= m_nSize - offset;
    }

    int m_iFd;
    uint64_t m_nSize;
    const ElfLayout* m_pLayout = nullptr;
    uint64_t m_nTable = 0, m_nEntry = 0, m_nCount = 0, m_nNames = 0;
    // The section header table as read so far; entries outside it do not exist.
    std::vector<unsigned char> m_vTable;
};

bool CElfFile::Read(uint64_t offset, uint64_t count, std::vector<unsigned char>& into) const
{
    if (!_Fits(offset, count))
        return false;
    into.resize(count);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = pread(m_iFd, into.data() + done, count - done,
                                static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool CElfFile::_ReadHeader()
{
    std::vector<unsigned char> ident;
    if (!Read(0, 16, ident) || std::memcmp(ident.data(), kMagic, sizeof kMagic) != 0)
        return false;
    if (ident[5] != kLittleEndian || ident[6] != kCurrentVersion)
        return false;
    m_pLayout = ident[4] == kClass32 ? &kElf32 : ident[4] == kClass64 ? &kElf64 : nullptr;
    std::vector<unsigned char> header;
    if (!m_pLayout || !Read(0, m_pLayout->header, header))
        return false;
    const ElfLayout& l = *m_pLayout;
    m_nTable = Le(&header[l.shoff], l.word);
    m_nEntry = Le(&header[l.shentsize], 2);
    m_nCount = Le(&header[l.shnum], 2);
    m_nNames = Le(&header[l.shstrndx], 2);
    return true;
}

std::optional<SectionHeader> CElfFile::_Section(uint64_t index) const
{
    if (index >= m_vTable.size() / m_nEntry)
        return std::nullopt;
    const unsigned char* p = m_vTable.data() + index * m_nEntry;
    const ElfLayout& l = *m_pLayout;
    SectionHeader s;
    s.name = Le(p, 4);
    s.type = Le(p + 4, 4);
    s.offset = Le(p + l.secOffset, l.word);
    s.size = Le(p + l.secSize, l.word);
    s.link = Le(p + l.secLink, 4);
    return s;
}

DWORD CElfFile::Find(const std::string& name, SectionHeader& found)
{
    if (!_ReadHeader())
        return ERROR_BAD_FORMAT;
    if (m_nTable == 0)
        return ERROR_RESOURCE_TYPE_NOT_FOUND;  // stripped of section headers
    if (m_nEntry < m_pLayout->section || !Read(m_nTable, m_nEntry, m_vTable))
        return ERROR_BAD_FORMAT;
    // Counts beyond 16 bits live in the first entry (ELF extended numbering).
    const SectionHeader first = *_Section(0);
    if (m_nCount == 0)
        m_nCount = first.size;
    if (m_nNames == kExtendedIndex)
        m_nNames = first.link;
    if (m_nCount > kMaxTable / m_nEntry || !Read(m_nTable, m_nCount * m_nEntry, m_vTable))
        return ERROR_BAD_FORMAT;
    const std::optional<SectionHeader> names = _Section(m_nNames);
    std::vector<unsigned char> table;
    if (!names || names->type == kSectionNoBits || names->size > kMaxTable ||
        !Read(names->offset, names->size, table))
        return ERROR_BAD_FORMAT;
    for (uint64_t i = 1; i < m_nCount; ++i) {
        const SectionHeader s = *_Section(i);
        if (s.name < table.size() && table.size() - s.name > name.size() &&
            std::memcmp(&table[s.name], name.c_str(), name.size() + 1) == 0) {
            found = s;
            return ERROR_SUCCESS;
        }
    }
    return ERROR_RESOURCE_TYPE_NOT_FOUND;
}

}  // namespace

namespace pal {

DWORD ReadElfSection(const std::string& posixPath, const std::string& name, size_t maxSize,
                     std::vector<unsigned char>& bytes)
{
    bytes.clear();
    // Non-blocking, so that a FIFO in the way cannot hang the caller.
    const int fd = open(posixPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Win32ErrorFromErrno(errno, posixPath);
    struct stat info {};
    DWORD result = ERROR_ACCESS_DENIED;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        CElfFile file(fd, static_cast<uint64_t>(info.st_size));
        SectionHeader section;
        result = file.Find(name, section);
        if (result == ERROR_SUCCESS &&
            (section.type == kSectionNoBits || section.size == 0 || section.size > maxSize ||
             !file.Read(section.offset, section.size, bytes)))
            result = ERROR_BAD_FORMAT;
    }
    close(fd);
    if (result != ERROR_SUCCESS)
        bytes.clear();
    return result;
}

}  // namespace pal
