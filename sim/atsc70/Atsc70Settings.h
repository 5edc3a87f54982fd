// The ATSC70 simulator's machine-wide control values, its script entries and
// its own statuses, shared by the simulator and whatever drives it.
//
// HKEY_LOCAL_MACHINE\SOFTWARE\vesk\Simulator\atsc70 (64-bit view):
//   Sensors        REG_DWORD     sensors the library names; default 1
//   SensorName     REG_SZ        the first sensor's name; default "ATSC70 #1"
//   NameStatus     REG_DWORD     what ATGetNextSensorNameW answers with a
//                                sensor (18 names one too); default 0
//   Width, Height  REG_DWORD     the reconstructed image; default 200 x 360
//   Seed           REG_DWORD     finger of the generated pictures; default 1
//   ImageFile      REG_SZ        a PGM or BMP file reconstructed at its own size
//   FingerDelayMs  REG_DWORD     from an acquisition's start to its image-ready
//                                message; 0xFFFFFFFF = never; default 300
//   LeaveDelayMs   REG_DWORD     a message wait ended by a close returns this
//                                much later (a slow library); default 0
//   Fault          REG_SZ        a size the library answers wrongly (kFaultNames)
//   Script         REG_MULTI_SZ  answers that come first, in order; each
//                                answered entry is removed from the value
// A value of another type counts as missing.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/common/CScript.h"
#include "support/Win32.h"

namespace vsim::atsc70 {

inline const WCHAR* const kFamily = W("atsc70");
inline const WCHAR* const kSensors = W("Sensors");
inline const WCHAR* const kSensorName = W("SensorName");
inline const WCHAR* const kNameStatus = W("NameStatus");
inline const WCHAR* const kWidth = W("Width");
inline const WCHAR* const kHeight = W("Height");
inline const WCHAR* const kSeed = W("Seed");
inline const WCHAR* const kImageFile = W("ImageFile");
inline const WCHAR* const kFingerDelayMs = W("FingerDelayMs");
inline const WCHAR* const kLeaveDelayMs = W("LeaveDelayMs");
inline const WCHAR* const kFault = W("Fault");
inline const WCHAR* const kScript = W("Script");

constexpr uint32_t kDefaultSensors = 1;
inline const char* const kDefaultSensorName = "ATSC70 #1";
constexpr uint32_t kDefaultWidth = 200;
constexpr uint32_t kDefaultHeight = 360;
constexpr uint32_t kDefaultSeed = 1;
constexpr uint32_t kDefaultFingerDelayMs = 300;
constexpr uint32_t kFingerNever = 0xFFFFFFFF;
// Reconstructed sides are 16-bit in the library's answers.
constexpr uint32_t kMaxSide = 0xFFFF;
constexpr uint32_t kMaxLeaveDelayMs = 10000;

// What the library answers for misuse; the driver passes them on.
constexpr int16_t kStatusNotInitialized = 2;
constexpr int16_t kStatusNoSensor = 3;
constexpr int16_t kStatusNotOpen = 6;
constexpr int16_t kStatusBusy = 7;
constexpr int16_t kStatusBadParameter = 8;
constexpr int16_t kStatusNoImage = 9;

constexpr uint16_t kMessageImageReady = 5;

// Sizes that cannot be true, for the driver to refuse.
enum EFault : uint32_t {
    kFaultNone,
    kFaultSwipeZero,      // ATGetImageBufferSize answers 0
    kFaultSwipeHuge,      // ... 0xFFFFFFF0
    kFaultSwipeGrows,     // ... twice as much at its second call
    kFaultFullZero,       // ATGetMaxFullImageSize answers 0
    kFaultFullHuge,       // ... 0xFFFFFFF0
    kFaultImageEmpty,     // ATCreateFullImage claims a width of 0
    kFaultImageOversize,  // ... claims twice its height; its buffer holds the true one
    kFaultCount
};
// "none", "swipe-zero", "swipe-huge", "swipe-grows", "full-zero", "full-huge",
// "image-empty", "image-oversize".
const char* FaultName(uint32_t nFault);
bool ParseFault(const std::string& sName, uint32_t& nFault);
constexpr uint32_t kFaultHugeSize = 0xFFFFFFF0;

// "[call:]answer": call is message (the default: the next message's code,
// 0-65535), init, name, open, begin, end or create (a signed 16-bit status
// that call answers instead of its own work).
enum ECall : uint32_t { kCallMessage, kCallInit, kCallName, kCallOpen, kCallBegin, kCallEnd, kCallCreate };
const CScriptGrammar& ScriptGrammar();
using vsim::CScriptEntry;

bool ParseScriptEntry(const std::string& sText, CScriptEntry& entry, std::string& why);
std::string FormatScriptEntry(const CScriptEntry& entry);

struct CSettings {
    uint32_t m_nSensors = kDefaultSensors;
    WString m_sSensorName;  // set by ReadSettings
    uint32_t m_nNameStatus = 0;
    uint32_t m_nWidth = kDefaultWidth;
    uint32_t m_nHeight = kDefaultHeight;
    uint32_t m_nSeed = kDefaultSeed;
    WString m_sImageFile;  // empty: generated pictures
    uint32_t m_nFingerDelayMs = kDefaultFingerDelayMs;
    uint32_t m_nLeaveDelayMs = 0;
    uint32_t m_nFault = kFaultNone;
    std::vector<WString> m_vScript;
};

// One reading of the key; defaults for whatever is missing.
CSettings ReadSettings();

}  // namespace vsim::atsc70
