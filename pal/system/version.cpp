#include <cstring>
#include <optional>
#include <vector>

#include "pal/system/machine.h"
#include "pal/system/system.h"

static_assert(sizeof(OSVERSIONINFOW) == 276, "OSVERSIONINFOW layout");
static_assert(sizeof(OSVERSIONINFOEXW) == 284, "OSVERSIONINFOEXW layout");

namespace {

struct SVersion {
    DWORD major = 0;
    DWORD minor = 0;
    DWORD build = 0;
};

std::optional<DWORD> ParseNumber(const std::string& text)
{
    if (text.empty() || text.size() > 10)
        return std::nullopt;
    unsigned long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<DWORD>(value);
}

// "major.minor[.build]", nothing else.
std::optional<SVersion> ParseVersion(const std::string& text)
{
    std::vector<DWORD> parts;
    size_t start = 0;
    for (;;) {
        const size_t dot = text.find('.', start);
        const std::optional<DWORD> number = ParseNumber(text.substr(start, dot - start));
        if (!number)
            return std::nullopt;
        parts.push_back(*number);
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    if (parts.size() < 2 || parts.size() > 3)
        return std::nullopt;
    return SVersion{parts[0], parts[1], parts.size() == 3 ? parts[2] : 0};
}

}  // namespace

BOOL WINAPI GetVersionExW(LPOSVERSIONINFOW info)
{
    const DWORD size = info ? info->dwOSVersionInfoSize : 0;
    const std::optional<SVersion> version = ParseVersion(pal::NonEmptySetting("VESK_WINVER", "6.1.7601"));
    if ((size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW)) || !version) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::memset(info, 0, size);
    info->dwOSVersionInfoSize = size;
    info->dwMajorVersion = version->major;
    info->dwMinorVersion = version->minor;
    info->dwBuildNumber = version->build;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    if (size == sizeof(OSVERSIONINFOEXW)) {
        auto* ex = reinterpret_cast<LPOSVERSIONINFOEXW>(info);
        ex->wSuiteMask = VER_SUITE_SINGLEUSERTS;  // what every workstation reports
        ex->wProductType = VER_NT_WORKSTATION;
    }
    return TRUE;
}
