#include "pal/system/machine.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "pal/base/settings.h"

namespace pal {

namespace {

std::string Lowercase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    std::vector<char> scratch(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, scratch.data(), scratch.size(), &found) == 0 && found &&
        found->pw_dir)
        return found->pw_dir;
    return std::string();
}

}  // namespace

// XDG only allows absolute data folders; anything else falls back to HOME.
std::string UserDataFolder()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/')
        return WithoutTrailingSlash(xdg);
    const std::string home = HomeFolder();
    return home.empty() ? home : home + "/.local/share";
}

std::string NonEmptySetting(const char* name, const std::string& fallback)
{
    const std::string value = GetSetting(name);
    return value.empty() ? fallback : value;
}

EArch SimulatedArch()
{
    const std::string arch = Lowercase(NonEmptySetting("VESK_ARCH", "x64"));
    if (arch == "x86")
        return EArch::X86;
    if (arch == "x64" || arch == "amd64")
        return EArch::X64;
    if (arch == "ia64")
        return EArch::IA64;
    return EArch::Unknown;
}

bool IsSimulated64Bit()
{
    const EArch arch = SimulatedArch();
    return arch == EArch::X64 || arch == EArch::IA64;
}

std::string SystemFolder()
{
    std::string folder = NonEmptySetting("VESK_SYSTEM_DIR");
    if (folder.empty()) {
        const std::string data = UserDataFolder();
        if (data.empty())
            return data;
        folder = data + "/vesk/system32";
    }
    return WithoutTrailingSlash(folder);
}

std::string SystemX86Folder()
{
    const std::string folder = NonEmptySetting("VESK_SYSTEMX86_DIR");
    if (!folder.empty())
        return WithoutTrailingSlash(folder);
    const std::string system = SystemFolder();
    if (system.empty() || !IsSimulated64Bit())
        return system;
    return (std::filesystem::path(system).parent_path() / "SysWOW64").string();
}

}  // namespace pal
