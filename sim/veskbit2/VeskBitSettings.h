// The simulator's machine-wide control values and its script entries, shared
// by the simulator and the tools that drive it.
//
// HKEY_LOCAL_MACHINE\SOFTWARE\vesk\Simulator\veskbit (64-bit view):
//   Attached       REG_DWORD     0 = no scanner; default 1
//   Seed           REG_DWORD     finger of the generated pictures; default 1
//   ImageFile      REG_SZ        a PGM or BMP file served instead; default none
//   FingerDelayMs  REG_DWORD     wait from an attempt's first poll to the
//                                finger; 0xFFFFFFFF = never; default 300
//   Script         REG_MULTI_SZ  answers that replace the next ones, in order;
//                                each answered entry is removed from the value
// A value of another type counts as missing.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/common/CScript.h"
#include "support/Win32.h"

namespace vsim::veskbit {

inline const WCHAR* const kFamily = W("veskbit");
inline const WCHAR* const kAttached = W("Attached");
inline const WCHAR* const kSeed = W("Seed");
inline const WCHAR* const kImageFile = W("ImageFile");
inline const WCHAR* const kFingerDelayMs = W("FingerDelayMs");
inline const WCHAR* const kScript = W("Script");

constexpr uint32_t kDefaultSeed = 1;
constexpr uint32_t kDefaultFingerDelayMs = 300;
constexpr uint32_t kFingerNever = 0xFFFFFFFF;

// Status the simulator answers to an open without a scanner; as a script's
// image answer it unplugs the scanner during the attempt, which then breaks
// off (0x8020).
constexpr uint16_t kNoScanner = 4003;

enum ECall : uint32_t { kCallAttached, kCallOpen, kCallImage, kCallClose };

// "[call:]answer": call is attached, open, image (the default) or close, in
// any case; answer decimal or 0x hexadecimal, 16 bits (32 for attached).
const CScriptGrammar& ScriptGrammar();
using vsim::CScriptEntry;

bool ParseScriptEntry(const std::string& sText, CScriptEntry& entry, std::string& why);
// The canonical spelling, e.g. "open:0x0123".
std::string FormatScriptEntry(const CScriptEntry& entry);

struct CSettings {
    bool m_bAttached = true;
    uint32_t m_nSeed = kDefaultSeed;
    WString m_sImageFile;  // empty: generated pictures
    uint32_t m_nFingerDelayMs = kDefaultFingerDelayMs;
    std::vector<WString> m_vScript;  // as stored, up to the first empty string
};

// One reading of the key; defaults for whatever is missing.
CSettings ReadSettings();

}  // namespace vsim::veskbit
