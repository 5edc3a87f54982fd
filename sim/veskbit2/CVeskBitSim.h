// The simulated scanner behind the four library functions. One per process;
// every call takes its lock, so a close from another thread falls between
// two polls. The machine-wide settings are read afresh at each attach test,
// open and close, at the first poll of each attempt and every kRecheck
// while an attempt waits, so that an unplug is noticed during the wait.
#pragma once
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/common/CGreyImage.h"
#include "support/CCriticalSection.h"
#include "sim/common/CProblemLog.h"
#include "sim/common/CScript.h"
#include "sim/veskbit2/VeskBitSettings.h"
#include "sim/veskbit2/VeskBitSimControl.h"

namespace vsim::veskbit {

class CVeskBitSim {
public:
    static CVeskBitSim& Instance();

    uint32_t Attached();
    uint16_t Open(uint32_t* pCell, uint32_t nPriority, uint32_t nReserved, uint32_t nWidth,
                  uint32_t nHeight, uint32_t nOption);
    uint16_t GetImage(uint32_t* pCell, uint8_t* pBlock);
    uint16_t Close(uint32_t* pCell);

    void Reset();
    void SetAttached(bool bAttached);
    void SetSeed(uint32_t nSeed);
    void SetImageFile(const WString& sPath);
    void SetFingerDelay(uint32_t nMilliseconds);
    void SetScript(std::vector<CScriptEntry> entries);
    CVeskBitSimStats GetStats();
    std::string GetLastProblem();

private:
    using Clock = std::chrono::steady_clock;

    // One open handle: the pictures it delivered and its running attempt.
    struct CDevice {
        uint32_t m_nFrames = 0;
        bool m_bWaiting = false;
        bool m_bLost = false;  // unplugged while open: broken off until closed
        Clock::time_point m_tFirstPoll;
        Clock::time_point m_tRefreshed;
    };

    struct COverrides {
        std::optional<bool> m_oAttached;
        std::optional<uint32_t> m_oSeed;
        std::optional<WString> m_oImageFile;
        std::optional<uint32_t> m_oFingerDelayMs;
    };

    void _Refresh();
    bool _IsAttached() const;
    void _Unplug();
    bool _FingerArrived(const CDevice& device) const;
    void _RefreshWhileWaiting(CDevice& device);
    uint16_t _Poll(CDevice& device, uint8_t* pBlock);
    uint16_t _BreakOff(CDevice& device);
    uint16_t _Deliver(CDevice& device, uint8_t* pBlock);
    bool _Picture(uint32_t nFrame, CGreyImage& image);
    // To the debugger and VeskBitSimGetLastProblem.
    void _Report(const std::string& sProblem);
    uint16_t _Refuse(uint16_t nStatus, const std::string& sProblem);

    CCriticalSection m_lock;
    CSettings m_stored;
    COverrides m_overrides;
    CScript m_script{kFamily, kScript, ScriptGrammar()};
    std::map<uint32_t, CDevice> m_mDevices;
    uint32_t m_nNextHandle = 0;
    CVeskBitSimStats m_stats{};
    CProblemLog m_problems{"veskbit2"};
};

}  // namespace vsim::veskbit
