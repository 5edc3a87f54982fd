// The simulated library behind the BSAPI functions. One per process; every
// call takes its lock, except that a grab waits for its finger outside it,
// so that a cancel or close from another thread ends the wait. Messages to
// the grabs' callbacks go from a thread of the simulator's own. The
// machine-wide settings are read afresh at every call and every kRecheck
// while a grab waits.
#pragma once
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "drivers/Bsapi.h"
#include "sim/bsapi/BsapiSettings.h"
#include "sim/bsapi/BsapiSimControl.h"
#include "sim/common/CGreyImage.h"
#include "sim/common/CProblemLog.h"
#include "sim/common/CScript.h"
#include "support/CCriticalSection.h"

namespace vsim::bsapi {

class CBsapiSim {
public:
    static CBsapiSim& Instance();

    CBsapiSim() = default;
    ~CBsapiSim();
    CBsapiSim(const CBsapiSim&) = delete;
    CBsapiSim& operator=(const CBsapiSim&) = delete;

    ABS_STATUS Initialize();
    ABS_STATUS Terminate();
    ABS_STATUS Enumerate(const char* pszFilter, ABS_DEVICE_LIST** ppList);
    ABS_STATUS Open(const char* pszDsn, ABS_CONNECTION* phConnection);
    ABS_STATUS Close(ABS_CONNECTION hConnection);
    ABS_STATUS GetProperty(ABS_CONNECTION hConnection, uint32_t nPropertyId, ABS_DATA** ppData);
    ABS_STATUS RawGrab(ABS_CONNECTION hConnection, ABS_OPERATION* pOperation, uint32_t nPurpose,
                       const ABS_GRAB_FORMAT* pFormat, ABS_IMAGE** ppImage, void** ppSecond,
                       uint32_t nFlags);
    ABS_STATUS Cancel(ABS_CONNECTION hConnection, uint32_t nOperationId);
    ABS_STATUS Free(void* pBuffer);

    void Reset();
    void SetDevices(uint32_t nDevices);
    void SetDeviceVersion(uint32_t nVersion);
    void SetNativeSize(uint32_t nWidth, uint32_t nHeight);
    void SetSeed(uint32_t nSeed);
    void SetImageFile(const WString& sPath);
    void SetFingerDelay(uint32_t nMilliseconds);
    void SetFault(uint32_t nFault);
    void SetSuspended(bool bSuspended);
    uint32_t SendMessage(uint32_t nMessage);
    void SetScript(std::vector<CScriptEntry> entries);
    CBsapiSimStats GetStats();
    std::string GetLastProblem();

private:
    using Clock = std::chrono::steady_clock;

    struct CGrab {
        ABS_CONNECTION m_hConnection = 0;
        ABS_OPERATION m_operation{};  // a copy: the callback's first argument
        bool m_bEnded = false;        // cancelled, or its connection closed
        Clock::time_point m_tStart;
    };

    struct COverrides {
        std::optional<uint32_t> m_oDevices;
        std::optional<uint32_t> m_oDeviceVersion;
        std::optional<uint32_t> m_oWidth;
        std::optional<uint32_t> m_oHeight;
        std::optional<uint32_t> m_oSeed;
        std::optional<WString> m_oImageFile;
        std::optional<uint32_t> m_oFingerDelayMs;
        std::optional<bool> m_bSuspended;
        std::optional<uint32_t> m_oFault;
    };

    // What a waiting grab finds at one look.
    enum class EState { kWaiting, kFinger, kEnded, kUnplugged, kSuspended };

    CSettings _Settings() const;  // the stored values with the overrides
    void _Refresh();
    void _RefreshWhileWaiting();
    ABS_STATUS _Check(bool bConnection, ABS_CONNECTION hConnection);
    EState _Look(const CGrab& grab) const;
    ABS_STATUS _Begin(ABS_CONNECTION hConnection, ABS_OPERATION* pOperation, uint32_t nPurpose,
                      const ABS_GRAB_FORMAT* pFormat, uint32_t nFlags, ABS_IMAGE** ppImage,
                      void** ppSecond, uint64_t& nGrab);
    ABS_STATUS _Wait(uint64_t nGrab, ABS_IMAGE** ppImage, void** ppSecond);
    ABS_STATUS _HandImage(ABS_CONNECTION hConnection, ABS_IMAGE** ppImage, void** ppSecond);
    bool _Picture(ABS_CONNECTION hConnection, CGreyImage& image);
    void* _Allocate(size_t nBytes);
    // The operations that a message goes to: the pending grabs', or else
    // the last grab's.
    std::vector<ABS_OPERATION> _Recipients() const;
    // A resume is owed once the scanner is back and a suspend was told.
    std::vector<ABS_OPERATION> _TakeResume();
    void _SendResumeIfOwed();
    // Calls each operation's callback from a thread of the simulator and waits.
    uint32_t _Send(const std::vector<ABS_OPERATION>& recipients, uint32_t nMessage);
    void _Report(const std::string& sProblem);
    ABS_STATUS _Refuse(ABS_STATUS nStatus, const std::string& sProblem);

    CCriticalSection m_lock;
    CSettings m_stored;
    COverrides m_overrides;
    CScript m_script{kFamily, kScript, ScriptGrammar()};
    uint32_t m_nInitializations = 0;
    std::map<ABS_CONNECTION, uint32_t> m_mConnections;  // handle -> pictures delivered
    ABS_CONNECTION m_hNextConnection = 0;
    std::map<uint64_t, CGrab> m_mGrabs;
    uint64_t m_nNextGrab = 1;
    std::optional<ABS_OPERATION> m_oLastOperation;
    bool m_bSuspendTold = false;
    Clock::time_point m_tRefreshed;
    std::set<void*> m_buffers;
    CBsapiSimStats m_stats{};
    CProblemLog m_problems{"bsapi"};
};

}  // namespace vsim::bsapi
