// The simulated library behind the ATSC70 entry points. One per loaded
// copy; every call takes its lock, except that a message query waits for its
// message outside it, so that a close from another thread ends the wait.
// The machine-wide settings are read afresh at every call and every
// kRecheck while a query waits.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drivers/Atsc70.h"
#include "sim/atsc70/Atsc70Settings.h"
#include "sim/atsc70/Atsc70SimControl.h"
#include "sim/common/CGreyImage.h"
#include "sim/common/CProblemLog.h"
#include "sim/common/CScript.h"
#include "support/CCriticalSection.h"

namespace vsim::atsc70 {

class CAtsc70Sim {
public:
    static CAtsc70Sim& Instance();

    CAtsc70Sim();   // tells a listening program of the load
    ~CAtsc70Sim();  // and of the unload, with the calls still under way
    CAtsc70Sim(const CAtsc70Sim&) = delete;
    CAtsc70Sim& operator=(const CAtsc70Sim&) = delete;

    // Every entry point is bracketed by these.
    void Enter() { ++m_nInFlight; }
    void Leave() { --m_nInFlight; }

    AT_STATUS Init();
    AT_STATUS Close();
    AT_STATUS OpenSensor(const WCHAR* pszName, uint32_t nMode);
    AT_STATUS CloseSensor();
    AT_STATUS NextSensorName(WCHAR* pszName);
    AT_STATUS Begin(uint32_t a, uint32_t b, uint32_t c, uint32_t d);
    const AT_MESSAGE* NextMessage();
    void ReleaseMessage(const AT_MESSAGE* pMessage);
    uint32_t BufferSize();
    AT_STATUS End(uint8_t* pSwipe);
    AT_STATUS SwipeInfo(const uint8_t* pSwipe, uint32_t* pnFirst, uint32_t* pnSecond, uint32_t* pnThird);
    AT_STATUS MaxFullSize(const uint8_t* pSwipe, uint32_t* pnBytes);
    AT_STATUS CreateFull(const uint8_t* pSwipe, uint16_t* pnWidth, uint16_t* pnHeight, uint8_t* pImage);

    void Reset();
    void SetSensors(uint32_t nSensors);
    void SetSensorName(const WString& sName, int32_t nStatus);
    void SetImageSize(uint32_t nWidth, uint32_t nHeight);
    void SetImageFile(const WString& sPath);
    void SetFingerDelay(uint32_t nMilliseconds);
    void SetLeaveDelay(uint32_t nMilliseconds);
    void SetFault(uint32_t nFault);
    void SetScript(std::vector<CScriptEntry> entries);
    CAtsc70SimStats GetStats();
    std::string GetLastProblem();

private:
    using Clock = std::chrono::steady_clock;

    struct COverrides {
        std::optional<uint32_t> m_oSensors;
        std::optional<WString> m_oSensorName;
        std::optional<uint32_t> m_oNameStatus;
        std::optional<uint32_t> m_oWidth;
        std::optional<uint32_t> m_oHeight;
        std::optional<WString> m_oImageFile;
        std::optional<uint32_t> m_oFingerDelayMs;
        std::optional<uint32_t> m_oLeaveDelayMs;
        std::optional<uint32_t> m_oFault;
    };

    // A message as handed out: the code, then the library's own words.
    struct CMessage {
        AT_MESSAGE m_header;
        uint16_t m_nReserved;
        uint32_t m_nSerial;
    };

    // What a waiting query finds at one look.
    enum class ELook { kWaiting, kEnded, kMessage };

    CSettings _Settings() const;
    void _Refresh();
    void _RefreshWhileWaiting();
    AT_STATUS _CheckInit(const char* pszCall);
    AT_STATUS _CheckSwipe(const uint8_t* pSwipe, const char* pszCall);
    // Under the lock: a message due now, if any.
    std::optional<uint16_t> _DueMessage();
    const AT_MESSAGE* _Hand(uint16_t nCode);
    void _EndAcquisition();
    bool _MakePicture();
    void _Report(const std::string& sProblem);
    AT_STATUS _Refuse(AT_STATUS nStatus, const std::string& sProblem);

    std::atomic<uint32_t> m_nInFlight{0};
    PFN_Atsc70SimLoadEvent m_pfnListener = nullptr;

    CCriticalSection m_lock;
    CSettings m_stored;
    COverrides m_overrides;
    CScript m_script{kFamily, kScript, ScriptGrammar()};
    Clock::time_point m_tRefreshed;
    bool m_bInitialized = false;
    bool m_bSensorOpen = false;
    bool m_bAcquiring = false;
    uint32_t m_nAcquisition = 0;  // counts acquisitions; a change ends a wait
    Clock::time_point m_tBegin;
    bool m_bFingerDelivered = false;
    bool m_bImageReady = false;  // message 5 went out in this acquisition
    uint32_t m_nSwipeQueries = 0;
    uint32_t m_nSwipe = 0;  // acquisition whose swipe was ended; 0: none
    CGreyImage m_picture;
    uint32_t m_nNextSerial = 1;
    uint32_t m_nWaiting = 0;  // message queries waiting now; kept by Reset
    std::map<const AT_MESSAGE*, std::unique_ptr<CMessage>> m_messages;
    CAtsc70SimStats m_stats{};
    CProblemLog m_problems{"atsc70"};
};

}  // namespace vsim::atsc70
