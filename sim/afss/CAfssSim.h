// The simulated client library behind both generations' interfaces. One per
// loaded copy. Every operation takes its lock; an image request waits outside
// it on an event that the ends of the wait signal after setting their flag
// under the lock, so an end that comes before the request sleeps still ends
// it. Events reach the driver's callback from the library's own thread,
// without the lock. The machine-wide settings and the service's state are
// read afresh at every call and every kLook while a request waits.
#pragma once
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "drivers/AFSSClient.h"
#include "sim/afss/AfssSettings.h"
#include "sim/afss/AfssSimControl.h"
#include "sim/common/CGreyImage.h"
#include "sim/common/CProblemLog.h"
#include "sim/common/CScript.h"
#include "support/CCriticalSection.h"

namespace vsim::afss {

using AuthenTec::AFSSClientLib::AFSSEventCallback;
using AuthenTec::AFSSClientLib::AFSSSensorDescriptorList;
using AuthenTec::AFSSClientLib::AFSSSensorImage;
using AuthenTec::AFSSClientLib::AFSSSoftwareVersions;
using AuthenTec::AFSSClientLib::AFSSUserObjectBase;

// The image block as the service hands it out: a 40-byte bitmap header
// (width at 4, height at 8, pixel bytes at 20), a 256-entry grey palette,
// then the rows bottom-up without filler; a fault spoils it as named.
std::vector<uint8_t> BuildImageBlock(const CGreyImage& picture, uint32_t nFault);

class CAfssSim {
public:
    static CAfssSim& Instance();

    CAfssSim();
    ~CAfssSim();  // ends the event thread, bounded
    CAfssSim(const CAfssSim&) = delete;
    CAfssSim& operator=(const CAfssSim&) = delete;

    // The generation whose interface to hand out (8 or 9), 0 for none.
    uint32_t Interface();
    uint32_t Reserved(uint32_t nSlot);
    uint32_t Startup(AFSSEventCallback pfnCallback, void* pContext, uint32_t nFlags);
    uint32_t Connect(uint32_t nMode, uint32_t nTimeoutSeconds, uint32_t nPort);
    uint32_t Shutdown();
    uint32_t Request(AFSSSensorImage* pImage, uint32_t nArg1, uint32_t nArg2, uint32_t nArg3, uint32_t nPriority);
    uint32_t Cancel();
    uint32_t List(AFSSSensorDescriptorList* pList);
    uint32_t Versions(AFSSSoftwareVersions* pVersions);

    void Reset();
    void SetGeneration(uint32_t nGeneration);
    void SetNoInterface(bool bNoInterface);
    void SetSensors(uint32_t nSensors);
    void SetImageSize(uint32_t nWidth, uint32_t nHeight);
    void SetImageFile(const WString& sPath);
    void SetImageFormat(uint32_t nFormat);
    void SetFingerDelay(uint32_t nMilliseconds);
    void SetVersions(const CVersion& client, const CVersion& service);
    void SetStatus(uint32_t nOp, uint32_t nStatus);
    void SetFault(uint32_t nFault);
    void SetSeed(uint32_t nSeed);
    void QueueEvent(CQueuedEvent event);
    void SetScript(std::vector<CScriptEntry> entries);
    CAfssSimStats GetStats();
    bool WaitForRequest(uint32_t nTimeoutMs);
    bool PlaceFinger();
    bool WaitForEvents(uint32_t nTimeoutMs);
    std::string GetLastProblem();

private:
    using Clock = std::chrono::steady_clock;

    struct COverrides {
        std::optional<uint32_t> m_oGeneration;
        std::optional<bool> m_obNoInterface;
        std::optional<uint32_t> m_oSensors;
        std::optional<uint32_t> m_oWidth;
        std::optional<uint32_t> m_oHeight;
        std::optional<uint32_t> m_oSeed;
        std::optional<WString> m_oImageFile;
        std::optional<uint32_t> m_oImageFormat;
        std::optional<uint32_t> m_oFingerDelayMs;
        std::optional<CVersion> m_oClientVersion;
        std::optional<CVersion> m_oServiceVersion;
        std::optional<uint32_t> m_aoStatus[kAfssSimOpCount];
        std::optional<uint32_t> m_oFault;
    };

    // How a waiting request ends.
    enum class EEnd { kNone, kFinger, kCancel, kShutdown, kServiceStopped };

    struct CPendingEvent {
        uint32_t m_nType = 0;
        uint32_t m_nCode = 0;
        std::vector<uint32_t> m_vPayloadTypes;
        std::vector<uint8_t> m_vImage;  // the data of a DisplayImage payload
    };

    struct CThreadStart {
        CAfssSim* m_pSim;
        HMODULE m_hHeld;  // the thread's reference on the library, or null
    };

    static unsigned __stdcall _EventThread(void* pStart);
    void _DeliverEvents();

    CSettings _Settings() const;
    void _Refresh();
    void _RefreshWhileWaiting();
    // The script's or the setting's answer for nOp, if any.
    std::optional<uint32_t> _Forced(uint32_t nOp);
    bool _IsObject(const AFSSUserObjectBase* pObject, uint32_t nSize, const char* pszCall);
    uint32_t _CheckConnected(const char* pszCall);
    uint32_t _FillImage(AFSSSensorImage* pImage);
    uint32_t _RequestAnswer(uint32_t nStatus);
    void _Post(CPendingEvent event);
    // Ends the session; returns the event thread for the caller to join.
    HANDLE _EndSession();
    void _Join(HANDLE hThread);
    void _AwaitRequestEnd();
    uint32_t _Refuse(uint32_t nStatus, const std::string& sProblem);

    CCriticalSection m_lock;
    HANDLE m_hWake;        // auto-reset: a waiting request looks again
    HANDLE m_hEventsDue;   // auto-reset: the event thread looks again
    CSettings m_stored;
    bool m_bServiceRunning = false;
    COverrides m_overrides;
    CScript m_script{kFamily, kScript, ScriptGrammar()};
    Clock::time_point m_tRefreshed;

    bool m_bStarted = false;
    bool m_bConnected = false;
    AFSSEventCallback m_pfnCallback = nullptr;
    void* m_pContext = nullptr;

    bool m_bWaiting = false;
    EEnd m_eEnd = EEnd::kNone;
    bool m_bFingerPlaced = false;
    uint32_t m_nFrame = 0;
    CGreyImage m_picture;

    HANDLE m_hThread = nullptr;
    DWORD m_nThreadId = 0;  // the thread that may deliver; another one leaves
    bool m_bStopEvents = false;
    std::deque<CPendingEvent> m_events;
    uint32_t m_nDelivering = 0;
    std::vector<CQueuedEvent> m_vQueued;

    CAfssSimStats m_stats{};
    CProblemLog m_problems{"afss"};
};

}  // namespace vsim::afss
