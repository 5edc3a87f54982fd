#include "pal/sync/MutexName.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "pal/base/settings.h"
#include "pal/system/machine.h"
#include "pal/text/text.h"

namespace {

constexpr char16_t kGlobal[] = u"Global\\";
constexpr char16_t kLocal[] = u"Local\\";
constexpr size_t kMaxReadable = 180;  // escaped characters kept before the hash; NAME_MAX is 255

size_t Length(const char16_t* text) { return std::char_traits<char16_t>::length(text); }

bool StartsWith(const std::u16string& text, const char16_t* prefix)
{
    return text.compare(0, Length(prefix), prefix) == 0;
}

bool IsPlain(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
        c == u'.' || c == u'_' || c == u'-';
}

std::string Escaped(const std::u16string& text)
{
    std::string out;
    for (const char16_t c : text) {
        if (IsPlain(c)) {
            out += static_cast<char>(c);
            continue;
        }
        char code[8];
        std::snprintf(code, sizeof code, "%%%04X", static_cast<unsigned>(c));
        out += code;
    }
    return out;
}

uint64_t Fnv1a(const std::u16string& text)
{
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const char16_t c : text) {
        hash = (hash ^ (c & 0xFF)) * 0x100000001b3ull;
        hash = (hash ^ (c >> 8)) * 0x100000001b3ull;
    }
    return hash;
}

std::u16string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    const size_t last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::u16string()
                                      : pal::FromUtf8(text.substr(first, last - first + 1));
}

}  // namespace

namespace pal {

DWORD CanonicalMutexName(LPCWSTR name, std::u16string& canonical)
{
    const std::u16string given(name);
    if (given.size() > MAX_PATH)
        return ERROR_FILENAME_EXCED_RANGE;
    const bool global = StartsWith(given, kGlobal);
    const bool local = !global && StartsWith(given, kLocal);
    const size_t prefix = global ? Length(kGlobal) : local ? Length(kLocal) : 0;
    const std::u16string rest = given.substr(prefix);
    if (rest.find(u'\\') != std::u16string::npos)
        return ERROR_PATH_NOT_FOUND;  // no such folder in the object namespace
    canonical = (global ? kGlobal : kLocal) + rest;
    return ERROR_SUCCESS;
}

std::string MutexFilePath(const std::u16string& canonical)
{
    const bool global = StartsWith(canonical, kGlobal);
    const size_t prefix = Length(global ? kGlobal : kLocal);
    std::string name = Escaped(canonical.substr(prefix));
    if (name.size() > kMaxReadable) {
        char hash[24];
        std::snprintf(hash, sizeof hash, "~%016llx",
                      static_cast<unsigned long long>(Fnv1a(canonical)));
        name = name.substr(0, kMaxReadable) + hash;
    }
    std::string folder = NonEmptySetting("VESK_OBJECTS_DIR", "/dev/shm");
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder + (global ? "/vesk-mutex.Global." : "/vesk-mutex.Local.") + name;
}

bool IsMutexDenied(const std::u16string& canonical)
{
    const std::string list = GetSetting("VESK_MUTEX_DENIED");
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = std::min(list.find(',', start), list.size());
        const std::u16string entry = Trimmed(list.substr(start, comma - start));
        std::u16string entryName;
        if (!entry.empty() && CanonicalMutexName(entry.c_str(), entryName) == ERROR_SUCCESS &&
            entryName == canonical)
            return true;
        start = comma + 1;
    }
    return false;
}

}  // namespace pal
