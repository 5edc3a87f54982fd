// In-process control of the AuthenTec service client simulator
// (AFSSClientLib.dll / libAFSSClientLib.so). The library is loaded at run
// time, by the driver as by its tests, so the control functions are reached
// through the test's own handle on the same file (CAfssSimLink), which also
// keeps the simulator's state alive while the driver unloads and reloads it.
// Settings made here win over the machine-wide registry values
// (AfssSettings.h) until AfssSimReset. Plain C types only.
//
// The service itself is not simulated here: ConnectToService and a waiting
// image request read the state of the service key
// HKLM\SYSTEM\CurrentControlSet\Services\ATService (CurrentState 4 =
// running), which `vesk-admin service` sets.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "support/Win32.h"

// What the client's operations answer besides 0 (success; for the image
// request: the image is filled in). Distinct numbers, so that a driver's log
// shows which end a call took.
enum : uint32_t {
    kAfssSimStatusNotSupported = 0x1001,     // a reserved slot
    kAfssSimStatusWrongObject = 0x1002,      // null, or ObjectSize() not the expected class's
    kAfssSimStatusNotStarted = 0x1003,       // no Startup (or after Shutdown)
    kAfssSimStatusAlreadyStarted = 0x1004,   // Startup twice without Shutdown
    kAfssSimStatusNotConnected = 0x1005,     // request, list or versions before the connect
    kAfssSimStatusServiceDown = 0x1006,      // connect: ATService absent or not running
    kAfssSimStatusBusy = 0x1007,             // a second request while one waits
    kAfssSimStatusCancelled = 0x1008,        // request ended by CancelCurrentRequest
    kAfssSimStatusShutDown = 0x1009,         // request ended by Shutdown
    kAfssSimStatusServiceStopped = 0x100A,   // request ended: ATService left the running state
    kAfssSimStatusNoImage = 0x100B,          // the picture file could not be read
    kAfssSimStatusFailed = 0x100C,           // the simulator itself failed (out of memory)
};

// The operations whose status can be forced (AfssSimSetStatus, the
// registry's <Op>Status values, script "op:status").
enum : uint32_t {
    kAfssSimOpStartup,
    kAfssSimOpConnect,
    kAfssSimOpShutdown,
    kAfssSimOpRequest,
    kAfssSimOpCancel,
    kAfssSimOpList,
    kAfssSimOpVersions,
    kAfssSimOpCount
};

// Wrong answers, for the driver's tests of hostile input (AfssSimSetFault,
// the registry's Fault value by name).
enum : uint32_t {
    kAfssSimFaultNone,           // "none"
    kAfssSimFaultListCount,      // "list-count": the list's count is one more than its nodes
    kAfssSimFaultImageShort,     // "image-short": a 16-byte image block
    kAfssSimFaultPixelsOver,     // "pixels-over": pixel byte count larger than the block
    kAfssSimFaultWidthZero,      // "width-zero"
    kAfssSimFaultHeightZero,     // "height-zero"
    kAfssSimFaultWidthHuge,      // "width-huge": width 100000, the block unchanged
    kAfssSimFaultCount
};

// Event types and codes the library sends by itself (AFSSEvent m_nType,
// m_nCode): on connect ServiceStatus/1 then ClientConnected/0; on each
// request OperationalPrompt/1 then OperationalPrompt/7 (BeginSample); on an
// image BiometricEvent/1 (UsageFeedback_SampleGood, one DisplayImage payload
// holding the image block) then RequestCompleted/0.
enum : uint32_t {
    kAfssSimEventClientConnected = 6,
    kAfssSimEventServiceStatus = 9,
    kAfssSimEventOperationalPrompt = 11,
    kAfssSimEventBiometric = 12,
    kAfssSimEventRequestCompleted = 13,
};

constexpr uint32_t kAfssSimFingerNever = 0xFFFFFFFF;
constexpr uint32_t kAfssSimMaxQueuedPayloads = 16;

struct CAfssSimStats {
    uint32_t m_nInterfaceQueries;  // calls of each operation
    uint32_t m_nStartups;
    uint32_t m_nConnects;
    uint32_t m_nShutdowns;
    uint32_t m_nRequests;
    uint32_t m_nCancels;
    uint32_t m_nListQueries;
    uint32_t m_nVersionQueries;
    uint32_t m_nReservedCalls;  // reserved slots called
    uint32_t m_nWrongObjects;   // calls refused with kAfssSimStatusWrongObject
    uint32_t m_nStarted;        // 1 between Startup and Shutdown
    uint32_t m_nConnected;      // 1 between a successful connect and Shutdown
    uint32_t m_nWaiting;        // image requests waiting now
    uint32_t m_nEventsDelivered;  // callback calls made
    uint32_t m_nEventsPending;    // events made and not yet delivered
    uint32_t m_nLiveBlocks;      // GlobalAlloc blocks of the library's own allocator now
    // The arguments of the last calls.
    uint32_t m_nLastGeneration;  // of the last interface handed out: 8 or 9; 0 none
    uint32_t m_nLastFlags;       // Startup
    uint32_t m_nLastConnectArgs[3];
    uint32_t m_nLastRequestArgs[3];  // the three after the image
    uint32_t m_nLastPriority;
    uint32_t m_nLastRequestStatus;  // what the last image request answered
};

extern "C" {
typedef void (*PFN_AfssSimReset)();  // overrides, statistics, queued events, script
// 9 (IAFSSClient, the default) or 8 (IAFSSClient8); other values are ignored.
typedef void (*PFN_AfssSimSetGeneration)(uint32_t nGeneration);
// Nonzero: GetAFSSClientInterface answers null.
typedef void (*PFN_AfssSimSetNoInterface)(uint32_t bNoInterface);
typedef void (*PFN_AfssSimSetSensors)(uint32_t nSensors);
typedef void (*PFN_AfssSimSetImageSize)(uint32_t nWidth, uint32_t nHeight);
// A PGM or BMP file (UTF-8 path) served at its own size; null or "" for
// generated pictures.
typedef void (*PFN_AfssSimSetImageFile)(const char* pszPath);
// The image's format field (the driver accepts 0 only).
typedef void (*PFN_AfssSimSetImageFormat)(uint32_t nFormat);
// From the request to its image; kAfssSimFingerNever: only PlaceFinger.
typedef void (*PFN_AfssSimSetFingerDelay)(uint32_t nMilliseconds);
// Entries 0 (client library) and 1 (service) of GetSoftwareVersions.
typedef void (*PFN_AfssSimSetVersions)(const uint32_t anClient[4], const uint32_t anService[4]);
// nOp: kAfssSimOp*; nStatus 0 lets the operation work again.
typedef void (*PFN_AfssSimSetStatus)(uint32_t nOp, uint32_t nStatus);
typedef void (*PFN_AfssSimSetFault)(uint32_t nFault);  // kAfssSimFault*
typedef void (*PFN_AfssSimSetSeed)(uint32_t nSeed);
// One event for the callback after the next successful connect (after the
// connect's own events), in the order queued; each payload is an empty
// AFSSPayload of that type. Returns 0, or 1 for more than
// kAfssSimMaxQueuedPayloads payloads or a null list with a count.
typedef uint32_t (*PFN_AfssSimQueueEvent)(uint32_t nType, uint32_t nCode, const uint32_t* pnPayloadTypes,
                                          uint32_t nPayloads);
// Entries as in the registry's Script value ("0", "request:0x1008",
// "connect:5", ...). Returns 0 and replaces the script, or 1 + the index of
// the first malformed entry.
typedef uint32_t (*PFN_AfssSimSetScript)(const char* const* ppszEntries, uint32_t nCount);
typedef void (*PFN_AfssSimGetStats)(CAfssSimStats* pStats);
// 1 as soon as an image request waits, 0 when none came within the time.
typedef uint32_t (*PFN_AfssSimWaitForRequest)(uint32_t nTimeoutMs);
// The waiting request gets its image now; 0 when none was waiting.
typedef uint32_t (*PFN_AfssSimPlaceFinger)();
// 1 once every event made so far has been delivered, 0 on time-out.
typedef uint32_t (*PFN_AfssSimWaitForEvents)(uint32_t nTimeoutMs);
// What the simulator last refused, UTF-8, cut to nSize - 1 bytes; returns
// the full length.
typedef uint32_t (*PFN_AfssSimGetLastProblem)(char* pszBuffer, uint32_t nSize);
}

#define AFSS_SIM_CONTROLS(X)                                                                            \
    X(AfssSimReset) X(AfssSimSetGeneration) X(AfssSimSetNoInterface) X(AfssSimSetSensors)               \
        X(AfssSimSetImageSize) X(AfssSimSetImageFile) X(AfssSimSetImageFormat) X(AfssSimSetFingerDelay) \
            X(AfssSimSetVersions) X(AfssSimSetStatus) X(AfssSimSetFault) X(AfssSimSetSeed)              \
                X(AfssSimQueueEvent) X(AfssSimSetScript) X(AfssSimGetStats) X(AfssSimWaitForRequest)    \
                    X(AfssSimPlaceFinger) X(AfssSimWaitForEvents) X(AfssSimGetLastProblem)

// The test's own reference on a simulator file and its control functions.
class CAfssSimLink {
public:
    explicit CAfssSimLink(const WString& sPath) : m_hModule(LoadLibraryW(sPath.c_str()))
    {
        if (!m_hModule)
            return;
#define AFSS_SIM_RESOLVE(name) \
    name = reinterpret_cast<PFN_##name>(reinterpret_cast<void*>(GetProcAddress(m_hModule, #name)));
        AFSS_SIM_CONTROLS(AFSS_SIM_RESOLVE)
#undef AFSS_SIM_RESOLVE
    }
    ~CAfssSimLink()
    {
        if (m_hModule)
            FreeLibrary(m_hModule);
    }
    CAfssSimLink(const CAfssSimLink&) = delete;
    CAfssSimLink& operator=(const CAfssSimLink&) = delete;

    bool IsLinked() const { return m_hModule && AfssSimGetLastProblem; }

    bool Script(const std::vector<std::string>& entries) const
    {
        std::vector<const char*> texts;
        for (const std::string& sEntry : entries)
            texts.push_back(sEntry.c_str());
        return AfssSimSetScript(texts.data(), static_cast<uint32_t>(texts.size())) == 0;
    }
    bool QueueEvent(uint32_t nType, uint32_t nCode, const std::vector<uint32_t>& payloadTypes = {}) const
    {
        return AfssSimQueueEvent(nType, nCode, payloadTypes.data(), static_cast<uint32_t>(payloadTypes.size())) == 0;
    }
    CAfssSimStats Stats() const
    {
        CAfssSimStats stats{};
        AfssSimGetStats(&stats);
        return stats;
    }
    std::string LastProblem() const
    {
        std::string sText(AfssSimGetLastProblem(nullptr, 0), '\0');
        AfssSimGetLastProblem(&sText[0], static_cast<uint32_t>(sText.size() + 1));
        return sText;
    }

#define AFSS_SIM_DECLARE(name) PFN_##name name = nullptr;
    AFSS_SIM_CONTROLS(AFSS_SIM_DECLARE)
#undef AFSS_SIM_DECLARE

private:
    HMODULE m_hModule;
};
