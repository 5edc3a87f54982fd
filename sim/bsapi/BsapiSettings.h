// The BSAPI simulator's machine-wide control values, its script entries and
// its own statuses, shared by the simulator and the tools that drive it.
//
// HKEY_LOCAL_MACHINE\SOFTWARE\vesk\Simulator\bsapi (64-bit view):
//   Devices        REG_DWORD     scanners on USB; default 0: the own-brand
//                                scanner alone, until attach says otherwise
//   DeviceVersion  REG_DWORD     what the version property answers; default 0x04030001
//   Width, Height  REG_DWORD     the scanner's own image size; default 300 x 400
//   Seed           REG_DWORD     finger of the generated pictures; default 1
//   ImageFile      REG_SZ        a PGM or BMP file served at its own size instead
//   FingerDelayMs  REG_DWORD     wait from a grab's start to the finger;
//                                0xFFFFFFFF = never; default 300
//   Suspended      REG_DWORD     non-zero: another process holds the scanner
//   Fault          REG_SZ        a broken record the library hands out (kFaultNames)
//   Script         REG_MULTI_SZ  answers that replace the next ones, in order;
//                                each answered entry is removed from the value
// A value of another type counts as missing.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/common/CScript.h"
#include "support/Win32.h"

namespace vsim::bsapi {

inline const WCHAR* const kFamily = W("bsapi");
inline const WCHAR* const kDevices = W("Devices");
inline const WCHAR* const kDeviceVersion = W("DeviceVersion");
inline const WCHAR* const kWidth = W("Width");
inline const WCHAR* const kHeight = W("Height");
inline const WCHAR* const kSeed = W("Seed");
inline const WCHAR* const kImageFile = W("ImageFile");
inline const WCHAR* const kFingerDelayMs = W("FingerDelayMs");
inline const WCHAR* const kSuspended = W("Suspended");
inline const WCHAR* const kFault = W("Fault");
inline const WCHAR* const kScript = W("Script");

constexpr uint32_t kDefaultDevices = 0;
constexpr uint32_t kDefaultDeviceVersion = 0x04030001;
constexpr uint32_t kDefaultWidth = 300;
constexpr uint32_t kDefaultHeight = 400;
constexpr uint32_t kDefaultSeed = 1;
constexpr uint32_t kDefaultFingerDelayMs = 300;
constexpr uint32_t kFingerNever = 0xFFFFFFFF;
// More scanners than a USB bus addresses are not simulated.
constexpr uint32_t kMaxDevices = 127;
// The native size of generated pictures; a file is served at its own size.
constexpr uint32_t kMaxSide = 4096;

// The simulator's own statuses for misuse; the driver passes them through.
constexpr int32_t kStatusBadParameter = -5001;
constexpr int32_t kStatusNotInitialized = -5004;
constexpr int32_t kStatusInvalidHandle = -5005;
constexpr int32_t kStatusNoDevice = -5008;  // the DSN names no attached scanner
constexpr int32_t kStatusCanceled = -5012;

// Records that cannot be true, for the driver to refuse.
enum EFault : uint32_t {
    kFaultNone,
    kFaultListCount,      // the list counts 1000 more devices than it holds
    kFaultShortProperty,  // the version property is 2 bytes long
    kFaultHugeImage,      // the image claims 4096 x 4096 pixels
    kFaultEmptyImage,     // the image claims a height of 0
    kFaultCount
};
// "none", "list-count", "short-property", "huge-image", "empty-image".
const char* FaultName(uint32_t nFault);
// False for an unknown name.
bool ParseFault(const std::string& sName, uint32_t& nFault);
constexpr uint32_t kFaultExtraDevices = 1000;
constexpr uint32_t kFaultPropertyLength = 2;
constexpr uint32_t kFaultImageSide = 4096;

enum ECall : uint32_t { kCallEnumerate, kCallOpen, kCallProperty, kCallGrab, kCallCancel, kCallClose };

// "[call:]status": call is enumerate, open, property, grab (the default),
// cancel or close, in any case; the status signed decimal. A non-zero
// status fails that call; grab:0 delivers an image at once.
const CScriptGrammar& ScriptGrammar();
using vsim::CScriptEntry;

bool ParseScriptEntry(const std::string& sText, CScriptEntry& entry, std::string& why);
// The canonical spelling, e.g. "grab:-5012".
std::string FormatScriptEntry(const CScriptEntry& entry);

struct CSettings {
    uint32_t m_nDevices = kDefaultDevices;
    uint32_t m_nDeviceVersion = kDefaultDeviceVersion;
    uint32_t m_nWidth = kDefaultWidth;
    uint32_t m_nHeight = kDefaultHeight;
    uint32_t m_nSeed = kDefaultSeed;
    WString m_sImageFile;  // empty: generated pictures
    uint32_t m_nFingerDelayMs = kDefaultFingerDelayMs;
    bool m_bSuspended = false;
    uint32_t m_nFault = kFaultNone;  // an unknown name counts as none
    std::vector<WString> m_vScript;  // as stored, up to the first empty string
};

// One reading of the key; defaults for whatever is missing.
CSettings ReadSettings();

// The DSN of the scanner at a zero-based index, as the list gives it.
std::string DsnOf(uint32_t nIndex);

}  // namespace vsim::bsapi
