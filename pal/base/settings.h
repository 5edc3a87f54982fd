// The simulated machine: VESK_ settings from the environment, read afresh on
// every call, with in-process overrides for unit tests.
#pragma once
#include <string>

namespace pal {

// Override first, then the environment, then the default.
std::string GetSetting(const char* name, const std::string& fallback = std::string());
bool HasSetting(const char* name);
// Whether a comma list setting names `item` (spaces around items ignored).
bool SettingListHas(const char* name, const char* item);

// In-process overrides; they win over the environment until cleared.
void SetSetting(const char* name, const std::string& value);
void ClearSetting(const char* name);
void ClearAllSettings();

}  // namespace pal
