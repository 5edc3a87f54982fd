#include "sim/afss/CAfssSim.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <type_traits>

#include "sim/common/GreyImageReader.h"
#include "sim/common/RidgeGenerator.h"
#include "sim/common/SimText.h"
#include "support/ThisModule.h"

namespace vsim::afss {

using AuthenTec::AFSSClientLib::AFSSBuffer;
using AuthenTec::AFSSClientLib::AFSSEvent;
using AuthenTec::AFSSClientLib::AFSSHardwareRevision;
using AuthenTec::AFSSClientLib::AFSSPayload;
using AuthenTec::AFSSClientLib::AFSSSensorDescriptor;
using AuthenTec::AFSSClientLib::AFSSSoftwareVersionInfo;

namespace {

// How often a waiting request rereads the settings and the service's state.
constexpr DWORD kLookMs = 100;
// Shutdown waits this long for the event thread to deliver what it holds.
constexpr DWORD kJoinMs = 2000;
constexpr uint32_t kHeaderBytes = 40;
constexpr uint32_t kPaletteBytes = 256 * 4;
constexpr uint32_t kShortBlockBytes = 16;
constexpr uint32_t kHugeWidth = 100000;
constexpr uint32_t kPixelsPerMetre = 19685;  // 500 dpi

const AFSSSoftwareVersionInfo kFirmware(1, 3, 0, 12);
const AFSSHardwareRevision kHardware(2, 5, 1);
constexpr uint32_t kSensorType = 2501;

void Put32(std::vector<uint8_t>& block, size_t nOffset, uint32_t nValue)
{
    for (int i = 0; i < 4; ++i)
        block[nOffset + i] = static_cast<uint8_t>(nValue >> (8 * i));
}

AFSSBuffer WideText(const std::string& sUtf8)
{
    const WString sText = WideFromUtf8(sUtf8);
    return AFSSBuffer(sText.data(), static_cast<uint32_t>(sText.size() * sizeof(WCHAR)));
}

struct CServiceCloser {
    void operator()(SC_HANDLE hHandle) const { CloseServiceHandle(hHandle); }
};
using CServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, CServiceCloser>;

bool IsServiceRunning()
{
    const CServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const CServiceHandle service(manager ? OpenServiceW(manager.get(), kServiceName, SERVICE_QUERY_STATUS)
                                         : nullptr);
    SERVICE_STATUS_PROCESS status{};
    DWORD nNeeded = 0;
    return service &&
           QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                                sizeof status, &nNeeded) &&
           status.dwCurrentState == SERVICE_RUNNING;
}

uint32_t LiveBlocks()
{
#ifdef _WIN32
    return 0;  // the real GlobalAlloc keeps no count
#else
    return static_cast<uint32_t>(pal::LiveGlobalBlocks());
#endif
}

struct CEventDestroyer {
    void operator()(AFSSEvent* pEvent) const { pEvent->Destroy(AFSSUserObjectBase::kReleaseMemory); }
};

CAfssSim g_sim;

}  // namespace

std::vector<uint8_t> BuildImageBlock(const CGreyImage& picture, uint32_t nFault)
{
    const uint32_t nWidth = picture.GetWidth();
    const uint32_t nHeight = picture.GetHeight();
    const uint32_t nPixels = nWidth * nHeight;
    std::vector<uint8_t> block(kHeaderBytes + kPaletteBytes + nPixels);
    Put32(block, 0, kHeaderBytes);
    Put32(block, 4, nFault == kAfssSimFaultWidthZero ? 0 : nFault == kAfssSimFaultWidthHuge ? kHugeWidth : nWidth);
    Put32(block, 8, nFault == kAfssSimFaultHeightZero ? 0 : nHeight);
    Put32(block, 12, 1 | (8u << 16));  // one plane, 8 bits per pixel
    Put32(block, 20, nFault == kAfssSimFaultPixelsOver ? static_cast<uint32_t>(block.size()) + 1024 : nPixels);
    Put32(block, 24, kPixelsPerMetre);
    Put32(block, 28, kPixelsPerMetre);
    Put32(block, 32, 256);
    for (uint32_t i = 0; i < 256; ++i)
        Put32(block, kHeaderBytes + 4 * i, i | (i << 8) | (i << 16));
    uint8_t* pRow = block.data() + kHeaderBytes + kPaletteBytes;
    for (uint32_t y = nHeight; y-- > 0; pRow += nWidth)
        std::memcpy(pRow, picture.GetPixels().data() + size_t(y) * nWidth, nWidth);
    if (nFault == kAfssSimFaultImageShort)
        block.resize(kShortBlockBytes);
    return block;
}

CAfssSim& CAfssSim::Instance() { return g_sim; }

CAfssSim::CAfssSim()
    : m_hWake(CreateEventW(nullptr, FALSE, FALSE, nullptr)), m_hEventsDue(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
}

CAfssSim::~CAfssSim()
{
    HANDLE hThread = nullptr;
    {
        const CCriticalSectionLock lock(m_lock);
        hThread = _EndSession();
    }
    _Join(hThread);
    CloseHandle(m_hEventsDue);
    CloseHandle(m_hWake);
}

uint32_t CAfssSim::Interface()
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nInterfaceQueries;
    _Refresh();
    const CSettings settings = _Settings();
    m_stats.m_nLastGeneration = settings.m_bNoInterface ? 0 : settings.m_nGeneration;
    return m_stats.m_nLastGeneration;
}

uint32_t CAfssSim::Reserved(uint32_t nSlot)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nReservedCalls;
    return _Refuse(kAfssSimStatusNotSupported, "slot " + std::to_string(nSlot) + " is reserved");
}

uint32_t CAfssSim::Startup(AFSSEventCallback pfnCallback, void* pContext, uint32_t nFlags)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nStartups;
    m_stats.m_nLastFlags = nFlags;
    _Refresh();
    if (m_bStarted)
        return _Refuse(kAfssSimStatusAlreadyStarted, "Startup twice without Shutdown");
    if (const std::optional<uint32_t> oStatus = _Forced(kAfssSimOpStartup); oStatus && *oStatus)
        return *oStatus;
    // A thread left running by a Shutdown from its own callback leaves when
    // it sees that it is no longer the delivering one.
    if (m_hThread)
        CloseHandle(m_hThread);
    // The thread keeps the library loaded until its last act: a caller may
    // unload the library as soon as Shutdown has returned.
    auto pStart = std::make_unique<CThreadStart>(CThreadStart{this, HoldThisModule()});
    unsigned nThreadId = 0;
    m_hThread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, _EventThread, pStart.get(), 0, &nThreadId));
    if (!m_hThread) {
        if (pStart->m_hHeld)
            FreeLibrary(pStart->m_hHeld);
        return _Refuse(kAfssSimStatusFailed, "no event thread");
    }
    pStart.release();
    m_nThreadId = nThreadId;
    m_bStopEvents = false;
    m_pfnCallback = pfnCallback;
    m_pContext = pContext;
    m_bStarted = true;
    return 0;
}

uint32_t CAfssSim::Connect(uint32_t nMode, uint32_t nTimeoutSeconds, uint32_t nPort)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nConnects;
    m_stats.m_nLastConnectArgs[0] = nMode;
    m_stats.m_nLastConnectArgs[1] = nTimeoutSeconds;
    m_stats.m_nLastConnectArgs[2] = nPort;
    _Refresh();
    if (!m_bStarted)
        return _Refuse(kAfssSimStatusNotStarted, "ConnectToService before Startup");
    if (const std::optional<uint32_t> oStatus = _Forced(kAfssSimOpConnect); oStatus && *oStatus)
        return *oStatus;
    if (!m_bServiceRunning)
        return _Refuse(kAfssSimStatusServiceDown, "ConnectToService: ATService is not running");
    m_bConnected = true;
    _Post({kAfssSimEventServiceStatus, 1, {}, {}});
    _Post({kAfssSimEventClientConnected, 0, {}, {}});
    std::string why;
    std::vector<CQueuedEvent> queued = std::move(m_vQueued);
    m_vQueued.clear();
    for (CQueuedEvent& event : TakeStoredEvents(why))
        queued.push_back(std::move(event));
    if (!why.empty())
        m_problems.Report("stored events: " + why);
    for (CQueuedEvent& event : queued)
        _Post({event.m_nType, event.m_nCode, std::move(event.m_vPayloadTypes), {}});
    return 0;
}

// A forced status is answered after the shutdown is done: no callback may
// reach a driver that believes the client is down.
uint32_t CAfssSim::Shutdown()
{
    HANDLE hThread = nullptr;
    std::optional<uint32_t> oStatus;
    {
        const CCriticalSectionLock lock(m_lock);
        ++m_stats.m_nShutdowns;
        _Refresh();
        if (!m_bStarted)
            return _Refuse(kAfssSimStatusNotStarted, "Shutdown without Startup");
        oStatus = _Forced(kAfssSimOpShutdown);
        hThread = _EndSession();
    }
    _Join(hThread);
    _AwaitRequestEnd();
    return oStatus.value_or(0);
}

uint32_t CAfssSim::Request(AFSSSensorImage* pImage, uint32_t nArg1, uint32_t nArg2, uint32_t nArg3,
                           uint32_t nPriority)
{
    Clock::time_point tStart;
    {
        const CCriticalSectionLock lock(m_lock);
        ++m_stats.m_nRequests;
        m_stats.m_nLastRequestArgs[0] = nArg1;
        m_stats.m_nLastRequestArgs[1] = nArg2;
        m_stats.m_nLastRequestArgs[2] = nArg3;
        m_stats.m_nLastPriority = nPriority;
        _Refresh();
        if (!_IsObject(pImage, sizeof(AFSSSensorImage), "RequestSensorImage"))
            return _RequestAnswer(kAfssSimStatusWrongObject);
        if (const uint32_t nStatus = _CheckConnected("RequestSensorImage"))
            return _RequestAnswer(nStatus);
        if (m_bWaiting)
            return _RequestAnswer(_Refuse(kAfssSimStatusBusy, "a second request while one waits"));
        if (const std::optional<uint32_t> oStatus = _Forced(kAfssSimOpRequest))
            return _RequestAnswer(*oStatus ? *oStatus : _FillImage(pImage));
        _Post({kAfssSimEventOperationalPrompt, 1, {}, {}});
        _Post({kAfssSimEventOperationalPrompt, 7, {}, {}});
        m_bWaiting = true;
        m_eEnd = EEnd::kNone;
        m_bFingerPlaced = false;
        tStart = Clock::now();
    }
    for (;;) {
        DWORD nWaitMs = kLookMs;
        {
            const CCriticalSectionLock lock(m_lock);
            _RefreshWhileWaiting();
            const uint32_t nDelay = _Settings().m_nFingerDelayMs;
            const auto elapsed = Clock::now() - tStart;
            if (m_eEnd == EEnd::kNone) {
                if (m_bFingerPlaced || (nDelay != kFingerNever && elapsed >= std::chrono::milliseconds(nDelay)))
                    m_eEnd = EEnd::kFinger;
                else if (!m_bServiceRunning)
                    m_eEnd = EEnd::kServiceStopped;
            }
            if (m_eEnd != EEnd::kNone) {
                m_bWaiting = false;
                switch (m_eEnd) {
                case EEnd::kFinger:
                    return _RequestAnswer(_FillImage(pImage));
                case EEnd::kCancel:
                    return _RequestAnswer(kAfssSimStatusCancelled);
                case EEnd::kShutdown:
                    return _RequestAnswer(kAfssSimStatusShutDown);
                default:
                    return _RequestAnswer(kAfssSimStatusServiceStopped);
                }
            }
            if (nDelay != kFingerNever) {
                const auto left = std::chrono::milliseconds(nDelay) - elapsed;
                const auto nLeftMs = std::chrono::duration_cast<std::chrono::milliseconds>(left).count() + 1;
                nWaitMs = static_cast<DWORD>(std::min<long long>(kLookMs, std::max<long long>(nLeftMs, 1)));
            }
        }
        WaitForSingleObject(m_hWake, nWaitMs);
    }
}

// A forced status leaves the request waiting.
uint32_t CAfssSim::Cancel()
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nCancels;
    _Refresh();
    if (!m_bStarted)
        return _Refuse(kAfssSimStatusNotStarted, "CancelCurrentRequest before Startup");
    if (const std::optional<uint32_t> oStatus = _Forced(kAfssSimOpCancel); oStatus && *oStatus)
        return *oStatus;
    if (m_bWaiting && m_eEnd == EEnd::kNone) {
        m_eEnd = EEnd::kCancel;
        SetEvent(m_hWake);
    }
    return 0;
}

uint32_t CAfssSim::List(AFSSSensorDescriptorList* pList)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nListQueries;
    _Refresh();
    if (!_IsObject(pList, sizeof(AFSSSensorDescriptorList), "GetSensorDescriptorList"))
        return kAfssSimStatusWrongObject;
    if (const uint32_t nStatus = _CheckConnected("GetSensorDescriptorList"))
        return nStatus;
    if (const std::optional<uint32_t> oStatus = _Forced(kAfssSimOpList); oStatus && *oStatus)
        return *oStatus;
    const CSettings settings = _Settings();
    pList->Clear();
    const uint32_t nSensors = std::min(settings.m_nSensors, kMaxSensors);
    for (uint32_t i = 0; i < nSensors; ++i) {
        const std::string sNumber = std::to_string(i + 1);
        AFSSSensorDescriptor* pNode = new AFSSSensorDescriptor;
        pNode->m_nSensorType = kSensorType;
        pNode->m_nSensorIndex = i;
        pNode->m_name = WideText("AuthenTec AES2501 #" + sNumber);
        pNode->m_serialNumber = WideText("SIM2501-" + std::string(4 - sNumber.size(), '0') + sNumber);
        pNode->m_devicePath = WideText("\\\\?\\usb#vid_0000&pid_2501#sim" + sNumber + "#afss");
        pNode->m_firmware = kFirmware;
        pNode->m_hardware = kHardware;
        pNode->m_bAvailable = 1;
        pNode->m_bSwipeSensor = 1;
        pList->Append(pNode);
    }
    if (settings.m_nFault == kAfssSimFaultListCount) {
        // The count follows the head pointer; the driver must trust the links.
        const uint32_t nClaimed = pList->Count() + 1;
        std::memcpy(reinterpret_cast<uint8_t*>(pList) + 2 * sizeof(void*), &nClaimed, sizeof nClaimed);
    }
    return 0;
}

uint32_t CAfssSim::Versions(AFSSSoftwareVersions* pVersions)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nVersionQueries;
    _Refresh();
    if (!_IsObject(pVersions, sizeof(AFSSSoftwareVersions), "GetSoftwareVersions"))
        return kAfssSimStatusWrongObject;
    if (const uint32_t nStatus = _CheckConnected("GetSoftwareVersions"))
        return nStatus;
    if (const std::optional<uint32_t> oStatus = _Forced(kAfssSimOpVersions); oStatus && *oStatus)
        return *oStatus;
    const CSettings settings = _Settings();
    const CVersion& c = settings.m_clientVersion;
    const CVersion& s = settings.m_serviceVersion;
    pVersions->Entry(0) = AFSSSoftwareVersionInfo(c[0], c[1], c[2], c[3]);
    pVersions->Entry(1) = AFSSSoftwareVersionInfo(s[0], s[1], s[2], s[3]);
    pVersions->Entry(2) = settings.m_nSensors ? kFirmware : AFSSSoftwareVersionInfo();
    return 0;
}

void CAfssSim::Reset()
{
    HANDLE hThread = nullptr;
    {
        const CCriticalSectionLock lock(m_lock);
        hThread = _EndSession();
    }
    _Join(hThread);
    _AwaitRequestEnd();
    const CCriticalSectionLock lock(m_lock);
    m_overrides = COverrides();
    m_script.Clear();
    m_vQueued.clear();
    m_nFrame = 0;
    m_stats = CAfssSimStats();
    m_problems.Clear();
}

void CAfssSim::SetGeneration(uint32_t nGeneration)
{
    if (nGeneration != 8 && nGeneration != 9)
        return;
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oGeneration = nGeneration;
}

void CAfssSim::SetNoInterface(bool bNoInterface)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_obNoInterface = bNoInterface;
}

void CAfssSim::SetSensors(uint32_t nSensors)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oSensors = nSensors;
}

void CAfssSim::SetImageSize(uint32_t nWidth, uint32_t nHeight)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oWidth = nWidth;
    m_overrides.m_oHeight = nHeight;
}

void CAfssSim::SetImageFile(const WString& sPath)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oImageFile = sPath;
}

void CAfssSim::SetImageFormat(uint32_t nFormat)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oImageFormat = nFormat;
}

void CAfssSim::SetFingerDelay(uint32_t nMilliseconds)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oFingerDelayMs = nMilliseconds;
    SetEvent(m_hWake);
}

void CAfssSim::SetVersions(const CVersion& client, const CVersion& service)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oClientVersion = client;
    m_overrides.m_oServiceVersion = service;
}

void CAfssSim::SetStatus(uint32_t nOp, uint32_t nStatus)
{
    if (nOp >= kAfssSimOpCount)
        return;
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_aoStatus[nOp] = nStatus;
}

void CAfssSim::SetFault(uint32_t nFault)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oFault = nFault < kAfssSimFaultCount ? nFault : kAfssSimFaultNone;
}

void CAfssSim::SetSeed(uint32_t nSeed)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oSeed = nSeed;
}

void CAfssSim::QueueEvent(CQueuedEvent event)
{
    const CCriticalSectionLock lock(m_lock);
    m_vQueued.push_back(std::move(event));
}

void CAfssSim::SetScript(std::vector<CScriptEntry> entries)
{
    const CCriticalSectionLock lock(m_lock);
    m_script.SetInProcess(std::move(entries));
}

CAfssSimStats CAfssSim::GetStats()
{
    const CCriticalSectionLock lock(m_lock);
    CAfssSimStats stats = m_stats;
    stats.m_nStarted = m_bStarted ? 1 : 0;
    stats.m_nConnected = m_bConnected ? 1 : 0;
    stats.m_nWaiting = m_bWaiting ? 1 : 0;
    stats.m_nEventsPending = static_cast<uint32_t>(m_events.size()) + m_nDelivering;
    stats.m_nLiveBlocks = LiveBlocks();
    return stats;
}

bool CAfssSim::WaitForRequest(uint32_t nTimeoutMs)
{
    const Clock::time_point tEnd = Clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;) {
        {
            const CCriticalSectionLock lock(m_lock);
            if (m_bWaiting && m_eEnd == EEnd::kNone)
                return true;
        }
        if (Clock::now() >= tEnd)
            return false;
        Sleep(2);
    }
}

bool CAfssSim::PlaceFinger()
{
    const CCriticalSectionLock lock(m_lock);
    if (!m_bWaiting || m_eEnd != EEnd::kNone)
        return false;
    m_bFingerPlaced = true;
    SetEvent(m_hWake);
    return true;
}

bool CAfssSim::WaitForEvents(uint32_t nTimeoutMs)
{
    const Clock::time_point tEnd = Clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;) {
        {
            const CCriticalSectionLock lock(m_lock);
            if (m_events.empty() && m_nDelivering == 0)
                return true;
        }
        if (Clock::now() >= tEnd)
            return false;
        Sleep(2);
    }
}

std::string CAfssSim::GetLastProblem()
{
    const CCriticalSectionLock lock(m_lock);
    return m_problems.Last();
}

unsigned __stdcall CAfssSim::_EventThread(void* pStart)
{
    HMODULE hHeld = nullptr;
    {
        const std::unique_ptr<CThreadStart> start(static_cast<CThreadStart*>(pStart));
        hHeld = start->m_hHeld;
        start->m_pSim->_DeliverEvents();
    }
    if (hHeld)
        FreeLibraryAndExitThread(hHeld, 0);
    return 0;
}

// Events are made here and destroyed after the callback, in the library's
// own allocator; a throwing callback loses that event only.
void CAfssSim::_DeliverEvents()
{
    for (;;) {
        CPendingEvent pending;
        AFSSEventCallback pfnCallback = nullptr;
        void* pContext = nullptr;
        {
            const CCriticalSectionLock lock(m_lock);
            if (m_nThreadId != GetCurrentThreadId())
                return;
            if (m_events.empty()) {
                if (m_bStopEvents)
                    return;
            } else {
                pending = std::move(m_events.front());
                m_events.pop_front();
                pfnCallback = m_pfnCallback;
                pContext = m_pContext;
                ++m_nDelivering;
            }
        }
        if (!pfnCallback) {
            WaitForSingleObject(m_hEventsDue, kLookMs);
            continue;
        }
        try {
            const std::unique_ptr<AFSSEvent, CEventDestroyer> pEvent(new AFSSEvent);
            pEvent->m_nType = pending.m_nType;
            pEvent->m_nCode = pending.m_nCode;
            pEvent->m_nTickCount = static_cast<uint32_t>(
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
            {
                const CCriticalSectionLock lock(m_lock);
                pEvent->m_nSequence = ++m_stats.m_nEventsDelivered;
            }
            for (const uint32_t nType : pending.m_vPayloadTypes) {
                const bool bImage = nType == AFSSPayload::PayloadType_DisplayImage && !pending.m_vImage.empty();
                pEvent->m_payloads.Append(new AFSSPayload(nType, 0, bImage ? pending.m_vImage.data() : nullptr,
                                                          bImage ? static_cast<uint32_t>(pending.m_vImage.size())
                                                                 : 0));
            }
            pfnCallback(pContext, pEvent.get());
        } catch (const std::exception& error) {
            DebugLine(std::string("afss simulator: event ") + error.what());
        }
        const CCriticalSectionLock lock(m_lock);
        --m_nDelivering;
    }
}

CSettings CAfssSim::_Settings() const
{
    CSettings settings = m_stored;
    const COverrides& o = m_overrides;
    settings.m_nGeneration = o.m_oGeneration.value_or(settings.m_nGeneration);
    settings.m_bNoInterface = o.m_obNoInterface.value_or(settings.m_bNoInterface);
    settings.m_nSensors = o.m_oSensors.value_or(settings.m_nSensors);
    settings.m_nWidth = o.m_oWidth.value_or(settings.m_nWidth);
    settings.m_nHeight = o.m_oHeight.value_or(settings.m_nHeight);
    settings.m_nSeed = o.m_oSeed.value_or(settings.m_nSeed);
    settings.m_sImageFile = o.m_oImageFile.value_or(settings.m_sImageFile);
    settings.m_nImageFormat = o.m_oImageFormat.value_or(settings.m_nImageFormat);
    settings.m_nFingerDelayMs = o.m_oFingerDelayMs.value_or(settings.m_nFingerDelayMs);
    settings.m_clientVersion = o.m_oClientVersion.value_or(settings.m_clientVersion);
    settings.m_serviceVersion = o.m_oServiceVersion.value_or(settings.m_serviceVersion);
    for (uint32_t nOp = 0; nOp < kAfssSimOpCount; ++nOp)
        settings.m_aStatus[nOp] = o.m_aoStatus[nOp].value_or(settings.m_aStatus[nOp]);
    settings.m_nFault = o.m_oFault.value_or(settings.m_nFault);
    return settings;
}

void CAfssSim::_Refresh()
{
    m_tRefreshed = Clock::now();
    m_stored = ReadSettings();
    m_bServiceRunning = IsServiceRunning();
    if (!m_script.IsInProcess())
        m_problems.LoadScript(m_script, m_stored.m_vScript);
}

void CAfssSim::_RefreshWhileWaiting()
{
    if (Clock::now() - m_tRefreshed >= std::chrono::milliseconds(kLookMs))
        _Refresh();
}

std::optional<uint32_t> CAfssSim::_Forced(uint32_t nOp)
{
    if (const std::optional<uint32_t> oAnswer = m_script.Take(nOp))
        return oAnswer;
    if (const uint32_t nStatus = _Settings().m_aStatus[nOp])
        return nStatus;
    return std::nullopt;
}

// The other generation's driver may pass any of the objects to a slot.
bool CAfssSim::_IsObject(const AFSSUserObjectBase* pObject, uint32_t nSize, const char* pszCall)
{
    if (pObject && pObject->ObjectSize() == nSize)
        return true;
    ++m_stats.m_nWrongObjects;
    m_problems.Report(std::string(pszCall) + ": " +
                      (pObject ? "an object of " + std::to_string(pObject->ObjectSize()) + " bytes, not " +
                                     std::to_string(nSize)
                               : std::string("no object")));
    return false;
}

uint32_t CAfssSim::_CheckConnected(const char* pszCall)
{
    if (!m_bStarted)
        return _Refuse(kAfssSimStatusNotStarted, std::string(pszCall) + " before Startup");
    if (!m_bConnected)
        return _Refuse(kAfssSimStatusNotConnected, std::string(pszCall) + " before ConnectToService");
    return 0;
}

uint32_t CAfssSim::_FillImage(AFSSSensorImage* pImage)
{
    const CSettings settings = _Settings();
    ++m_nFrame;
    CGreyImage picture;
    if (!settings.m_sImageFile.empty()) {
        std::string why;
        if (!ReadGreyImageFile(settings.m_sImageFile, picture, why))
            return _Refuse(kAfssSimStatusNoImage, "image file " + why);
    } else if (settings.m_nWidth == 0 || settings.m_nHeight == 0 || settings.m_nWidth > kMaxSide ||
               settings.m_nHeight > kMaxSide) {
        return _Refuse(kAfssSimStatusNoImage, "image size " + std::to_string(settings.m_nWidth) + " x " +
                                                  std::to_string(settings.m_nHeight) + " is outside 1 to " +
                                                  std::to_string(kMaxSide));
    } else {
        picture = GenerateRidges(settings.m_nWidth, settings.m_nHeight, settings.m_nSeed, m_nFrame);
    }
    std::vector<uint8_t> block = BuildImageBlock(picture, settings.m_nFault);
    // The driver's own assignment: the data lands in its allocator.
    *pImage = AFSSSensorImage(block.data(), static_cast<uint32_t>(block.size()), settings.m_nImageFormat);
    _Post({kAfssSimEventBiometric, 1, {AFSSPayload::PayloadType_DisplayImage}, std::move(block)});
    _Post({kAfssSimEventRequestCompleted, 0, {}, {}});
    return 0;
}

uint32_t CAfssSim::_RequestAnswer(uint32_t nStatus)
{
    m_stats.m_nLastRequestStatus = nStatus;
    return nStatus;
}

void CAfssSim::_Post(CPendingEvent event)
{
    if (!m_bStarted || !m_pfnCallback)
        return;
    m_events.push_back(std::move(event));
    SetEvent(m_hEventsDue);
}

HANDLE CAfssSim::_EndSession()
{
    m_bStarted = false;
    m_bConnected = false;
    if (m_bWaiting && m_eEnd == EEnd::kNone)
        m_eEnd = EEnd::kShutdown;
    SetEvent(m_hWake);
    m_bStopEvents = true;
    SetEvent(m_hEventsDue);
    if (m_nThreadId == GetCurrentThreadId())
        return nullptr;  // from the callback: the thread leaves after it
    HANDLE hThread = m_hThread;
    m_hThread = nullptr;
    return hThread;
}

void CAfssSim::_Join(HANDLE hThread)
{
    if (!hThread)
        return;
    if (WaitForSingleObject(hThread, kJoinMs) != WAIT_OBJECT_0) {
        const CCriticalSectionLock lock(m_lock);
        m_problems.Report("the event callback did not return within " + std::to_string(kJoinMs) + " ms");
    }
    CloseHandle(hThread);
}

// The ended request leaves within a look; the caller then sees no request
// waiting, as after the real client's Shutdown.
void CAfssSim::_AwaitRequestEnd()
{
    const Clock::time_point tEnd = Clock::now() + std::chrono::milliseconds(kJoinMs);
    for (;;) {
        {
            const CCriticalSectionLock lock(m_lock);
            if (!m_bWaiting)
                return;
        }
        if (Clock::now() >= tEnd)
            return;
        Sleep(1);
    }
}

uint32_t CAfssSim::_Refuse(uint32_t nStatus, const std::string& sProblem)
{
    m_problems.Report(sProblem);
    return nStatus;
}

}  // namespace vsim::afss
