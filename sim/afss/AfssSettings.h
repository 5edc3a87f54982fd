// The AuthenTec service client simulator's machine-wide control values, its
// script and its queued events, shared by the simulator and whatever drives
// it (vesk-admin).
//
// HKEY_LOCAL_MACHINE\SOFTWARE\vesk\Simulator\afss (64-bit view):
//   Generation     REG_DWORD     8 (IAFSSClient8) or 9 (IAFSSClient); default 9
//   NoInterface    REG_DWORD     nonzero: GetAFSSClientInterface answers null
//   Sensors        REG_DWORD     sensors the list holds; default 1
//   Width, Height  REG_DWORD     generated pictures; default 250 x 300
//   Seed           REG_DWORD     finger of the generated pictures; default 1
//   ImageFile      REG_SZ        a PGM or BMP file served at its own size
//   ImageFormat    REG_DWORD     the image's format field; default 0
//   FingerDelayMs  REG_DWORD     from a request to its image; 0xFFFFFFFF =
//                                never (only a placed finger); default 300
//   ClientVersion  REG_SZ        "A.B.C.D", entry 0 of the software versions;
//                                default 8.1.2.30
//   ServiceVersion REG_SZ        entry 1; default the client's
//   <Op>Status     REG_DWORD     what an operation answers instead of its
//                                work (Op: kOpNames, e.g. ConnectStatus)
//   Fault          REG_SZ        a wrong answer (FaultName)
//   Events         REG_MULTI_SZ  "TYPE:CODE[:PAYLOADTYPE...]" sent after the
//                                next connect, then removed from the key
//   Script         REG_MULTI_SZ  "[op:]status" answers that come first, in
//                                order (op request by default; request:0 is
//                                an image at once); each answered entry is
//                                removed from the value
// A value of another type or a malformed text counts as missing.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/afss/AfssSimControl.h"
#include "sim/common/CScript.h"
#include "support/Win32.h"

namespace vsim::afss {

inline const WCHAR* const kFamily = W("afss");
inline const WCHAR* const kGeneration = W("Generation");
inline const WCHAR* const kNoInterface = W("NoInterface");
inline const WCHAR* const kSensors = W("Sensors");
inline const WCHAR* const kWidth = W("Width");
inline const WCHAR* const kHeight = W("Height");
inline const WCHAR* const kSeed = W("Seed");
inline const WCHAR* const kImageFile = W("ImageFile");
inline const WCHAR* const kImageFormat = W("ImageFormat");
inline const WCHAR* const kFingerDelayMs = W("FingerDelayMs");
inline const WCHAR* const kClientVersion = W("ClientVersion");
inline const WCHAR* const kServiceVersion = W("ServiceVersion");
inline const WCHAR* const kFault = W("Fault");
inline const WCHAR* const kEvents = W("Events");
inline const WCHAR* const kScript = W("Script");

// The service the library serves; its key holds its state.
inline const WCHAR* const kServiceName = W("ATService");

constexpr uint32_t kDefaultGeneration = 9;
constexpr uint32_t kDefaultSensors = 1;
constexpr uint32_t kMaxSensors = 16;
constexpr uint32_t kDefaultWidth = 250;
constexpr uint32_t kDefaultHeight = 300;
constexpr uint32_t kMaxSide = 4096;
constexpr uint32_t kDefaultSeed = 1;
constexpr uint32_t kDefaultFingerDelayMs = 300;
constexpr uint32_t kFingerNever = kAfssSimFingerNever;
using CVersion = std::array<uint32_t, 4>;
constexpr CVersion kDefaultVersion = {8, 1, 2, 30};

// "startup", "connect", "shutdown", "request", "cancel", "list", "versions"
// (kAfssSimOp* order); the status value of op is "<Op>Status", capitalised.
const char* OpName(uint32_t nOp);
WString StatusValueName(uint32_t nOp);

// "none", "list-count", "image-short", "pixels-over", "width-zero",
// "height-zero", "width-huge" (kAfssSimFault* order).
const char* FaultName(uint32_t nFault);
bool ParseFault(const std::string& sName, uint32_t& nFault);

// "A.B.C.D", four decimal numbers.
bool ParseVersion(const std::string& sText, CVersion& version);
std::string FormatVersion(const CVersion& version);

struct CQueuedEvent {
    uint32_t m_nType = 0;
    uint32_t m_nCode = 0;
    std::vector<uint32_t> m_vPayloadTypes;  // at most kAfssSimMaxQueuedPayloads
};
// "TYPE:CODE[:PAYLOADTYPE...]", numbers decimal or 0x hexadecimal.
bool ParseEvent(const std::string& sText, CQueuedEvent& event, std::string& why);
std::string FormatEvent(const CQueuedEvent& event);

const CScriptGrammar& ScriptGrammar();
using vsim::CScriptEntry;
bool ParseScriptEntry(const std::string& sText, CScriptEntry& entry, std::string& why);
std::string FormatScriptEntry(const CScriptEntry& entry);

struct CSettings {
    uint32_t m_nGeneration = kDefaultGeneration;
    bool m_bNoInterface = false;
    uint32_t m_nSensors = kDefaultSensors;
    uint32_t m_nWidth = kDefaultWidth;
    uint32_t m_nHeight = kDefaultHeight;
    uint32_t m_nSeed = kDefaultSeed;
    WString m_sImageFile;  // empty: generated pictures
    uint32_t m_nImageFormat = 0;
    uint32_t m_nFingerDelayMs = kDefaultFingerDelayMs;
    CVersion m_clientVersion = kDefaultVersion;
    CVersion m_serviceVersion = kDefaultVersion;
    std::array<uint32_t, kAfssSimOpCount> m_aStatus = {};
    uint32_t m_nFault = kAfssSimFaultNone;
    std::vector<WString> m_vScript;
};

// One reading of the key; defaults for whatever is missing.
CSettings ReadSettings();

// The stored events, removed from the key as they are taken; malformed
// entries are skipped and named in `why`.
std::vector<CQueuedEvent> TakeStoredEvents(std::string& why);

}  // namespace vsim::afss
