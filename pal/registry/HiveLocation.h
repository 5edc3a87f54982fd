// Where each hive lives on disk and whether this process may change it.
#pragma once
#include <string>

namespace pal::registry {

enum class HiveId { ClassesRoot, CurrentUser, LocalMachine, Users };

// The root's full name, e.g. u"HKEY_LOCAL_MACHINE"; also the file's base name.
const char16_t* HiveRootName(HiveId hive);

// VESK_REGISTRY_DIR, else the user's XDG data folder; read on every call.
std::string RegistryDir();
std::string HiveFilePath(HiveId hive);

// False when VESK_REGISTRY_READONLY names the hive (HKLM, HKCU, HKCR, HKU or
// the full root names, comma separated) or the file system refuses writing.
bool HiveWritable(HiveId hive);

}  // namespace pal::registry
