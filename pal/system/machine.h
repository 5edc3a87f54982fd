// Facts of the simulated machine that several families share, derived from
// the VESK_ settings on every call.
#pragma once
#include <string>

namespace pal {

enum class EArch { X86, X64, IA64, Unknown };

// VESK_ARCH: x86, x64 (also amd64) or ia64, any case; unset means x64.
EArch SimulatedArch();
bool IsSimulated64Bit();

// POSIX paths without a trailing separator; empty when no home folder is known.
std::string SystemFolder();
std::string SystemX86Folder();

// The user's data folder ($XDG_DATA_HOME when absolute, else
// ~/.local/share), under which the simulated machine keeps its defaults.
std::string UserDataFolder();

// A setting that counts only when non-empty.
std::string NonEmptySetting(const char* name, const std::string& fallback = std::string());

}  // namespace pal
