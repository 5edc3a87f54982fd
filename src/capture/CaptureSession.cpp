// The capture session: start, replace, the capture thread and stop.
#include <algorithm>
#include <vector>

#include "capture/ExtractionThreadData.h"
#include "capture/TrayIcon.h"
#include "channel/CVCServer.h"
#include "drivers/AuthentecServiceSensor.h"
#include "drivers/CVeskBitDevice.h"
#include "drivers/Drivers.h"
#include "image/CRawImg.h"
#include "image/FingerscannerImageFns.h"
#include "support/CSpinLock.h"
#include "support/CWinOS.h"
#include "support/Format.h"
#include "support/Logging.h"
#include "support/ThisModule.h"

namespace {

// Every capture whose thread has not ended, and which of them runs now
// (CSensor::m_pThreadData). Records are shared: whoever reads one holds it
// alive, so no thread touches a freed record. The lock guards these words
// only and is never held across a driver call or a callback. Plain words and
// a block made by the first start and freed with the last capture: they
// stay usable whatever order the module's static objects are destroyed in,
// which the unload below relies on.
struct SCaptures {
    std::vector<std::shared_ptr<ExtractionThreadData>> live;
    const ExtractionThreadData* pRunning = nullptr;
};
CSpinLock g_captureLock;
SCaptures* g_pCaptures = nullptr;

constexpr DWORD kReplacePauseMilliseconds = 150;
constexpr DWORD kReplaceWaitMilliseconds = 100;
constexpr int kReplaceWaitPasses = 25;
constexpr uint32_t kRemotePixelBufferSize = 400000;
// A stopped capture leaves its driver within a poll; the rest of this bound
// is for a callback that was running when the unload came.
constexpr DWORD kUnloadWaitMilliseconds = 2000;

// Answers the capture it displaces: one that a concurrent start published
// after this start's replace had looked.
std::shared_ptr<ExtractionThreadData> Publish(const std::shared_ptr<ExtractionThreadData>& pData)
{
    CSpinLockGuard guard(g_captureLock);
    if (!g_pCaptures)
        g_pCaptures = new SCaptures;
    std::shared_ptr<ExtractionThreadData> pDisplaced;
    for (const auto& pLive : g_pCaptures->live)
        if (pLive.get() == g_pCaptures->pRunning)
            pDisplaced = pLive;
    g_pCaptures->live.push_back(pData);
    g_pCaptures->pRunning = pData.get();
    return pDisplaced;
}

// A thread that ends late must not hide a newer capture.
void Withdraw(const ExtractionThreadData* pData)
{
    CSpinLockGuard guard(g_captureLock);
    if (g_pCaptures && g_pCaptures->pRunning == pData)
        g_pCaptures->pRunning = nullptr;
}

// The capture's thread is leaving: nothing waits for it any more.
void Forget(const ExtractionThreadData* pData)
{
    std::shared_ptr<ExtractionThreadData> pLast;  // released outside the lock
    CSpinLockGuard guard(g_captureLock);
    if (!g_pCaptures)
        return;
    auto& live = g_pCaptures->live;
    const auto it = std::find_if(live.begin(), live.end(),
                                 [pData](const auto& pLive) { return pLive.get() == pData; });
    if (it != live.end()) {
        pLast = std::move(*it);
        live.erase(it);
    }
    if (g_pCaptures->pRunning == pData)
        g_pCaptures->pRunning = nullptr;
    if (live.empty()) {
        delete g_pCaptures;
        g_pCaptures = nullptr;
    }
}

void SetThread(ExtractionThreadData& data, uintptr_t hThread, unsigned nThreadId)
{
    CSpinLockGuard guard(g_captureLock);
    data.threadHandle = reinterpret_cast<HANDLE>(hThread);
    data.threadId = nThreadId;
}

std::vector<std::shared_ptr<ExtractionThreadData>> LiveCaptures()
{
    CSpinLockGuard guard(g_captureLock);
    return g_pCaptures ? g_pCaptures->live : std::vector<std::shared_ptr<ExtractionThreadData>>();
}

void LogWarning(const WCHAR* pszText)
{
    if (IsWarningEnabled())
        ::LogWarning(pszText);
}

void LogDebugText(const WString& sText)
{
    if (IsDebugEnabled())
        LogDebug(sText.c_str());
}

// Whether a replacing start tells the capture to end. A remote capture is
// left to end by itself; a local one without a driver (an AuthenTec capture
// whose probe failed) would otherwise repeat its failing attempts for ever.
bool IsToldToEnd(const ExtractionThreadData& data)
{
    return data.sensor.load() || data.type != FS_TYPE_REMOTE;
}

// Detaches a running capture: its caller gets no further event.
void Detach(ExtractionThreadData& data)
{
    data.RequestEnd();
    data.callback.store(nullptr);
    if (CSensor* pSensor = data.sensor.load())
        pSensor->CloseSensor();
}

void ReplaceRunning(const std::shared_ptr<ExtractionThreadData>& pOld)
{
    LogWarning(W("CSensor::StartExtraction(): CSensor::m_pThreadData exists !"));
    if (IsToldToEnd(*pOld)) {
        pOld->RequestEnd();
        Sleep(kReplacePauseMilliseconds);
        const auto pStill = CSensor::GetThreadData();
        if (pStill && IsToldToEnd(*pStill)) {
            Detach(*pStill);
            LogWarning(W("CSensor::StartExtraction(): CSensor::m_pThreadData exists. stopping old thread !"));
        } else {
            LogWarning(W("CSensor::StartExtraction(): CSensor::m_pThreadData does not exists. !"));
        }
        Sleep(kReplacePauseMilliseconds);
    }
    for (int nPass = 1; nPass <= kReplaceWaitPasses; ++nPass) {
        const auto pRunning = CSensor::GetThreadData();
        if (!pRunning)
            break;
        if (IsToldToEnd(*pRunning))
            Detach(*pRunning);
        LogDebugText(Format(W("CSensor::StartExtraction(): CSensor::m_pThreadData is not NULL: "
                              "Sleeping %d mS. %d. time"),
                            kReplaceWaitMilliseconds, nPass));
        Sleep(kReplaceWaitMilliseconds);
    }
}

CSensor* ChooseDriver(uint8_t nType, uint32_t nPriority, uint32_t nOwnBrandOption)
{
    switch (nType) {
    case FS_TYPE_VESKBIT:
        if (CVeskBitDevice* pDevice = GetVeskBitSensor()) {
            pDevice->SetPriorityAndOption(nPriority, nOwnBrandOption);
            return pDevice;
        }
        return nullptr;
    case FS_TYPE_AUTHENTEC:
        // The priority first: the probe connects with its start-up flags.
        // A failed probe leaves the capture without a driver: its attempts
        // fail and repeat until it is stopped.
        if (Authentec9Sensor* pSensor = GetAuthentec9Sensor()) {
            pSensor->Initialize(nPriority);
            if (pSensor->IsSensorAttached())
                return pSensor;
        }
        return nullptr;
    case FS_TYPE_UPEK:
        return GetUpekSensor();
    default:
        return nullptr;
    }
}

void RemoteAttempt(ExtractionThreadData& data)
{
    data.Deliver(FS_EVENT_REMOTE_CAPTURE);
    // Opens the channel and drains what an earlier cycle left; its
    // destruction at the end of the attempt tells the client to release.
    CVCServer server(false);
    FingerscannerImage image{nullptr, new uint8_t[kRemotePixelBufferSize], 240, 368};
    const uint32_t nResult = server.GetImageFromRDPSensor(&data, &image);
    if (nResult == 0) {
        data.Deliver(FS_EVENT_IMAGE, reinterpret_cast<uintptr_t>(&image));
        if (data.singleCapture)
            data.running.store(0);
    } else if (nResult == FS_EVENT_REMOTE_FAILED) {
        data.Deliver(FS_EVENT_REMOTE_FAILED);
        data.running.store(0);
    } else if (nResult != FS_EVENT_SIZE_MISMATCH) {
        data.running.store(0);
    }
    FreeFingerscannerImage(&image);
}

void CaptureLoop(ExtractionThreadData& data, CRawImg& image)
{
    do {
        const uint32_t nRunning = data.running.load();
        if (nRunning == 0) {
            data.stop.store(true);
        } else if (nRunning == 1 && !IsRemoteSession()) {
            LogDebugText(W("Running not in an RDP session starting capture thread local"));
            CSensor::GetImageFromSensor(&data, &image);
        } else if (nRunning == 1) {
            LogDebugText(W("Running in an RDP session starting capture thread on remote end"));
            RemoteAttempt(data);
        }
    } while (!data.stop.load());
}

// The whole capture; returns the thread's reference on the library.
HMODULE RunExtraction(ExtractionThreadData* pArgument)
{
    // Take over the reference the start left in the record.
    const std::shared_ptr<ExtractionThreadData> pData = std::move(pArgument->m_pSelf);
    const DWORD nThreadId = GetCurrentThreadId();
    SetThreadName(nThreadId, "veskSensorExtraction");
    if (!IsRemoteSession() && IsTrayIconWanted()) {
        CreateTrayIcon();
        SetTrayIconText(pData->type);
    }
    LogDebugText(Format(W("ExtractionThread created. ID:  0x%x"), nThreadId));
    {
        CRawImg image;
        CaptureLoop(*pData, image);
        Withdraw(pData.get());
        if (CSensor* pSensor = pData->sensor.exchange(nullptr))
            pSensor->CloseSensor();
        LogDebugText(Format(W("ExtractionThread terminated. ID:  0x%x"), nThreadId));
        pData->Deliver(FS_EVENT_CAPTURE_ENDED);
        pData->callback.store(nullptr);
        if (!IsRemoteSession())
            RemoveTrayIcon();
    }
    Forget(pData.get());
    return pData->moduleHold;
}

unsigned __stdcall ExtractionThread(void* pArgument)
{
    const HMODULE hHold = RunExtraction(static_cast<ExtractionThreadData*>(pArgument));
    // The library's code runs this thread to its very end: drop it last.
    if (hHold)
        FreeLibraryAndExitThread(hHold, 0);
    return 0;
}

}  // namespace

std::shared_ptr<ExtractionThreadData> CSensor::GetThreadData()
{
    CSpinLockGuard guard(g_captureLock);
    if (!g_pCaptures || !g_pCaptures->pRunning)
        return nullptr;
    for (const auto& pLive : g_pCaptures->live)
        if (pLive.get() == g_pCaptures->pRunning)
            return pLive;
    return nullptr;
}

bool CSensor::IsEndRequested(const CSensor* pSensor)
{
    const auto pData = GetThreadData();
    return pData && pData->sensor.load() == pSensor && pData->running.load() == 0;
}

uint32_t CSensor::StartExtraction(FingerscannerCallback pfnCallback, uintptr_t nCallbackFirst,
                                  uintptr_t nContext, uint32_t nDetectionMode, uint32_t nPriority,
                                  uint32_t nOwnBrandOption, uint32_t nSingleCapture,
                                  uint8_t nRemoteRequest)
{
    if (!pfnCallback)
        return FS_START_INVALID_REQUEST;
    SetCaptureEnder(&EndCapturesForUnload);
    const uint8_t nType = IsRemoteSession() ? uint8_t(FS_TYPE_REMOTE) : DetectFingerscanner(nDetectionMode);
    if (nType == FS_TYPE_NONE) {
        pfnCallback(nCallbackFirst, FS_EVENT_NO_SENSOR, 0, nContext);
        return FS_START_NO_SENSOR;
    }
    if (const auto pRunning = GetThreadData())
        ReplaceRunning(pRunning);

    auto pData = std::make_shared<ExtractionThreadData>();
    pData->type = nType;
    pData->callback.store(pfnCallback);
    pData->singleCapture = nSingleCapture;
    pData->priority = nPriority;
    pData->detectionMode = nDetectionMode;
    pData->context = nContext;
    pData->callbackFirst = nCallbackFirst;
    pData->remoteRequest = nRemoteRequest;
    pData->sensor.store(ChooseDriver(nType, nPriority, nOwnBrandOption));

    // Published before the thread exists, so that it designates the new
    // record before its thread can reach its end.
    pData->m_pSelf = pData;
    pData->moduleHold = HoldThisModule();
    // Two starts at once both find nothing to replace; the later one to
    // publish ends the other, which would otherwise run on unseen.
    if (const auto pDisplaced = Publish(pData); pDisplaced && IsToldToEnd(*pDisplaced))
        Detach(*pDisplaced);
    unsigned nThreadId = 0;
    const uintptr_t hThread = _beginthreadex(nullptr, 0, ExtractionThread, pData.get(), 0, &nThreadId);
    if (!hThread) {
        pData->m_pSelf.reset();
        pData->sensor.store(nullptr);
        Forget(pData.get());
        if (pData->moduleHold)
            FreeLibrary(pData->moduleHold);
        return FS_START_NO_THREAD;
    }
    SetThread(*pData, hThread, nThreadId);
    return FS_START_OK;
}

uint32_t StopDataAquisition()
{
    if (!IsRemoteSession())
        RemoveTrayIcon();
    const auto pData = CSensor::GetThreadData();
    if (!pData)
        return 1;
    CSensor* pSensor = pData->sensor.load();
    if (IsRemoteSession()) {
        if (pSensor) {
            LogDebugText(W("StopDataAquisition: Session is a Terminal Service Session for Fast User switching"));
            pSensor->CloseSensor();
        } else {
            LogDebugText(W("StopDataAquisition: Session is a real Terminal Service Session pSensor is NULL killing thread"));
            CVCServer server(true);
            server.ReleaseRDPSensor();
        }
        pData->running.store(0);
        return 1;
    }
    pData->running.store(0);
    if (pSensor)
        pSensor->CloseSensor();
    return 1;
}

void EndCapturesForUnload()
{
    const auto captures = LiveCaptures();
    for (const auto& pData : captures) {
        pData->callback.store(nullptr);  // the caller may be going away too
        pData->RequestEnd();
        if (CSensor* pSensor = pData->sensor.load())
            pSensor->CloseSensor();
    }
    for (const auto& pData : captures) {
        HANDLE hThread = nullptr;
        {
            CSpinLockGuard guard(g_captureLock);
            hThread = pData->threadHandle;
        }
        if (hThread && WaitForSingleObject(hThread, kUnloadWaitMilliseconds) != WAIT_OBJECT_0 &&
            IsWarningEnabled())
            ::LogWarning(W("EndCapturesForUnload(): a capture thread did not end in time"));
    }
}
