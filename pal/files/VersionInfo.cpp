// Version resources of our own ELF files: the build places a VS_VERSIONINFO
// block in the section ".vesk_version" (cmake/VeskVersion.cmake).
#include <algorithm>
#include <cstring>
#include <vector>

#include "pal/files/ElfSection.h"
#include "pal/files/files.h"
#include "pal/text/text.h"

static_assert(sizeof(VS_FIXEDFILEINFO) == 52, "VS_FIXEDFILEINFO layout");

namespace {

constexpr char kSection[] = ".vesk_version";
constexpr size_t kMaxBlock = 0xFFFF;  // wLength is a WORD
constexpr char16_t kRootKey[] = u"VS_VERSION_INFO";
constexpr size_t kKeyOffset = 6;
constexpr size_t kFixedOffset = 40;  // header and key, padded to 32 bits
static_assert(kKeyOffset + sizeof kRootKey <= kFixedOffset, "key fits before the fixed info");

bool ReadBlock(LPCWSTR fileName, std::vector<unsigned char>& block)
{
    if (!fileName || !*fileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    const DWORD result = pal::ReadElfSection(pal::ToPosixPath(fileName), kSection, kMaxBlock, block);
    SetLastError(result);
    return result == ERROR_SUCCESS;
}

WORD WordAt(const unsigned char* block, size_t offset)
{
    WORD value = 0;
    std::memcpy(&value, block + offset, sizeof value);
    return value;
}

// The root is named by "\" (or nothing); the string and translation tables
// are not stamped on this platform.
bool IsRoot(LPCWSTR subBlock)
{
    while (*subBlock == u'\\')
        ++subBlock;
    return *subBlock == 0;
}

// The length is checked before anything beyond the header is read, so a
// block cut short by GetFileVersionInfoW is never overrun.
bool HasFixedInfo(const unsigned char* block)
{
    if (WordAt(block, 0) < kFixedOffset + sizeof(VS_FIXEDFILEINFO) ||
        WordAt(block, 2) != sizeof(VS_FIXEDFILEINFO) || WordAt(block, 4) != 0)
        return false;
    if (std::memcmp(block + kKeyOffset, kRootKey, sizeof kRootKey) != 0)
        return false;
    DWORD signature = 0;
    std::memcpy(&signature, block + kFixedOffset, sizeof signature);
    return signature == VS_FFI_SIGNATURE;
}

}  // namespace

DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle)
{
    if (handle)
        *handle = 0;
    std::vector<unsigned char> block;
    return ReadBlock(fileName, block) ? static_cast<DWORD>(block.size()) : 0;
}

// A short buffer receives the head of the block with its length word cut to
// match, so that VerQueryValueW stays inside what was copied.
BOOL WINAPI GetFileVersionInfoW(LPCWSTR fileName, DWORD, DWORD size, LPVOID data)
{
    if (!data || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<unsigned char> block;
    if (!ReadBlock(fileName, block))
        return FALSE;
    const size_t copied = std::min<size_t>(size, block.size());
    if (copied < block.size() && copied >= sizeof(WORD)) {
        const WORD length = static_cast<WORD>(copied);
        std::memcpy(block.data(), &length, sizeof length);
    }
    std::memcpy(data, block.data(), copied);
    return TRUE;
}

BOOL WINAPI VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length)
{
    if (!block || !subBlock || !buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *buffer = nullptr;
    if (length)
        *length = 0;
    const auto* bytes = static_cast<const unsigned char*>(block);
    if (!IsRoot(subBlock) || !HasFixedInfo(bytes)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    // Win32 hands out a writable pointer into the caller's own block.
    *buffer = const_cast<unsigned char*>(bytes + kFixedOffset);
    if (length)
        *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}
