#include "pal/registry/HiveLocation.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

#include "pal/base/settings.h"
#include "pal/system/machine.h"
#include "pal/text/text.h"

namespace pal::registry {

namespace {

struct HiveNames {
    HiveId hive;
    const char16_t* root;
    const char* shortName;
};

constexpr HiveNames kHives[] = {
    {HiveId::ClassesRoot, u"HKEY_CLASSES_ROOT", "HKCR"},
    {HiveId::CurrentUser, u"HKEY_CURRENT_USER", "HKCU"},
    {HiveId::LocalMachine, u"HKEY_LOCAL_MACHINE", "HKLM"},
    {HiveId::Users, u"HKEY_USERS", "HKU"},
};

const HiveNames& NamesOf(HiveId hive) { return kHives[static_cast<size_t>(hive)]; }

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool NamedReadOnly(HiveId hive)
{
    const HiveNames& names = NamesOf(hive);
    std::istringstream list(pal::GetSetting("VESK_REGISTRY_READONLY"));
    for (std::string item; std::getline(list, item, ',');) {
        item = Upper(Trim(item));
        if (item == names.shortName || item == pal::ToUtf8(names.root))
            return true;
    }
    return false;
}

bool CanWrite(const std::filesystem::path& path) { return access(path.c_str(), W_OK) == 0; }

// A missing folder is created on the first write: its nearest existing
// ancestor decides.
bool FileSystemWritable(const std::filesystem::path& file)
{
    if (access(file.c_str(), F_OK) == 0)
        return CanWrite(file) && CanWrite(file.parent_path());
    std::filesystem::path folder = file.parent_path();
    while (!folder.empty() && access(folder.c_str(), F_OK) != 0)
        folder = folder.parent_path();
    return CanWrite(folder.empty() ? std::filesystem::path(".") : folder);
}

}  // namespace

const char16_t* HiveRootName(HiveId hive) { return NamesOf(hive).root; }

std::string RegistryDir()
{
    const std::string dir = pal::GetSetting("VESK_REGISTRY_DIR");
    if (!dir.empty())
        return dir;
    const std::string base = pal::UserDataFolder();
    return (base.empty() ? std::string("/tmp") : base) + "/vesk/registry";
}

std::string HiveFilePath(HiveId hive)
{
    return RegistryDir() + "/" + pal::ToUtf8(HiveRootName(hive)) + ".reg";
}

bool HiveWritable(HiveId hive)
{
    return !NamedReadOnly(hive) && FileSystemWritable(HiveFilePath(hive));
}

}  // namespace pal::registry
