#include "sim/bsapi/CBsapiSim.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "sim/common/CRegValues.h"
#include "sim/common/GreyImageReader.h"
#include "sim/common/RidgeGenerator.h"
#include "sim/common/SimText.h"

namespace vsim::bsapi {
namespace {

// Recognisable in a debugger, never 0 (no connection); never reused, so a
// grab on a closed handle is refused even after later opens.
constexpr ABS_CONNECTION kFirstConnection = 0x0A850001;
constexpr uint32_t kFormatFirst = 5;
const uint32_t kFormatSeconds[] = {11, 18, 39};
const char* const kUsbFilter = "usb";

// How often a waiting grab looks for its finger, a cancel or a suspend, and
// how often it reads the machine-wide settings again.
constexpr DWORD kLookMilliseconds = 10;
constexpr std::chrono::milliseconds kRecheck{200};
// A callback that does not return within this time is left running.
constexpr DWORD kMessageWaitMilliseconds = 5000;

constexpr uint32_t kSecondResultBytes = 8;

struct CDelivery {
    std::vector<ABS_OPERATION> m_recipients;
    uint32_t m_nMessage;
};

unsigned __stdcall MessengerThread(void* pArgument)
{
    const std::unique_ptr<CDelivery> pDelivery(static_cast<CDelivery*>(pArgument));
    for (ABS_OPERATION& operation : pDelivery->m_recipients)
        operation.Callback(&operation, pDelivery->m_nMessage, nullptr);
    return 0;
}

bool StartsWithNoCase(const std::string& sText, const std::string& sPrefix)
{
    if (sText.size() < sPrefix.size())
        return false;
    for (size_t i = 0; i < sPrefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(sText[i])) !=
            std::tolower(static_cast<unsigned char>(sPrefix[i])))
            return false;
    }
    return true;
}

void CopyText(char* pszTarget, size_t nSize, const char* pszSource)
{
    const size_t nCopied = std::min(std::strlen(pszSource), nSize - 1);
    std::memcpy(pszTarget, pszSource, nCopied);
    pszTarget[nCopied] = '\0';
}

// Made as the library loads, before any caller's object.
CBsapiSim g_sim;

}  // namespace

CBsapiSim& CBsapiSim::Instance() { return g_sim; }

// Buffers the caller never freed go with the library.
CBsapiSim::~CBsapiSim()
{
    for (void* pBuffer : m_buffers)
        std::free(pBuffer);
}

ABS_STATUS CBsapiSim::Initialize()
{
    const CCriticalSectionLock lock(m_lock);
    ++m_nInitializations;
    return ABS_STATUS_OK;
}

// The last terminate forgets the connections and the callback: the caller
// may be about to unload it.
ABS_STATUS CBsapiSim::Terminate()
{
    const CCriticalSectionLock lock(m_lock);
    if (m_nInitializations == 0)
        return _Refuse(kStatusNotInitialized, "terminate without initialize");
    if (--m_nInitializations > 0)
        return ABS_STATUS_OK;
    m_mConnections.clear();
    for (auto& entry : m_mGrabs)
        entry.second.m_bEnded = true;
    m_oLastOperation.reset();
    m_bSuspendTold = false;
    return ABS_STATUS_OK;
}

ABS_STATUS CBsapiSim::Enumerate(const char* pszFilter, ABS_DEVICE_LIST** ppList)
{
    _SendResumeIfOwed();
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nEnumerations;
    CopyText(m_stats.m_szLastFilter, sizeof m_stats.m_szLastFilter, pszFilter ? pszFilter : "");
    _Refresh();
    if (const ABS_STATUS nStatus = _Check(false, 0))
        return nStatus;
    if (!ppList)
        return _Refuse(kStatusBadParameter, "enumerate without a place for the list");
    *ppList = nullptr;
    if (const std::optional<uint32_t> oAnswer = m_script.Take(kCallEnumerate); oAnswer && *oAnswer)
        return static_cast<ABS_STATUS>(*oAnswer);
    const CSettings settings = _Settings();
    const bool bUsb = pszFilter && StartsWithNoCase(kUsbFilter, pszFilter);
    const uint32_t nDevices = bUsb ? std::min(settings.m_nDevices, kMaxDevices) : 0;
    auto* pList = static_cast<ABS_DEVICE_LIST*>(
        _Allocate(offsetof(ABS_DEVICE_LIST, List) + size_t(nDevices) * ABS_DEVICE_LIST_ITEM_SIZE));
    pList->NumDevices = nDevices + (settings.m_nFault == kFaultListCount ? kFaultExtraDevices : 0);
    char* pEntries = reinterpret_cast<char*>(pList) + offsetof(ABS_DEVICE_LIST, List);
    for (uint32_t i = 0; i < nDevices; ++i)
        CopyText(pEntries + size_t(i) * ABS_DEVICE_LIST_ITEM_SIZE, ABS_DEVICE_LIST_ITEM_SIZE,
                 DsnOf(i).c_str());
    *ppList = pList;
    return ABS_STATUS_OK;
}

ABS_STATUS CBsapiSim::Open(const char* pszDsn, ABS_CONNECTION* phConnection)
{
    _SendResumeIfOwed();
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nOpens;
    CopyText(m_stats.m_szLastOpenDsn, sizeof m_stats.m_szLastOpenDsn, pszDsn ? pszDsn : "");
    _Refresh();
    if (const ABS_STATUS nStatus = _Check(false, 0))
        return nStatus;
    if (!pszDsn || !phConnection)
        return _Refuse(kStatusBadParameter, "open without a DSN or a place for the handle");
    if (const std::optional<uint32_t> oAnswer = m_script.Take(kCallOpen); oAnswer && *oAnswer)
        return static_cast<ABS_STATUS>(*oAnswer);
    const uint32_t nDevices = std::min(_Settings().m_nDevices, kMaxDevices);
    bool bFound = false;
    for (uint32_t i = 0; i < nDevices && !bFound; ++i)
        bFound = DsnOf(i) == pszDsn;
    if (!bFound)
        return kStatusNoDevice;
    if (m_hNextConnection == 0)
        m_hNextConnection = kFirstConnection;
    *phConnection = m_hNextConnection++;
    m_mConnections[*phConnection] = 0;
    return ABS_STATUS_OK;
}

// Ends the connection's pending grab too.
ABS_STATUS CBsapiSim::Close(ABS_CONNECTION hConnection)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nCloses;
    m_stats.m_nLastCloseHandle = hConnection;
    _Refresh();
    if (const std::optional<uint32_t> oAnswer = m_script.Take(kCallClose); oAnswer && *oAnswer)
        return static_cast<ABS_STATUS>(*oAnswer);
    if (const ABS_STATUS nStatus = _Check(true, hConnection))
        return nStatus;
    m_mConnections.erase(hConnection);
    for (auto& entry : m_mGrabs)
        if (entry.second.m_hConnection == hConnection)
            entry.second.m_bEnded = true;
    return ABS_STATUS_OK;
}

ABS_STATUS CBsapiSim::GetProperty(ABS_CONNECTION hConnection, uint32_t nPropertyId, ABS_DATA** ppData)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nProperties;
    m_stats.m_nLastPropertyId = nPropertyId;
    _Refresh();
    if (const ABS_STATUS nStatus = _Check(true, hConnection))
        return nStatus;
    if (!ppData)
        return _Refuse(kStatusBadParameter, "property without a place for the data");
    *ppData = nullptr;
    if (const std::optional<uint32_t> oAnswer = m_script.Take(kCallProperty); oAnswer && *oAnswer)
        return static_cast<ABS_STATUS>(*oAnswer);
    if (nPropertyId != ABS_DEVPROP_DEVICE_VERSION)
        return _Refuse(kStatusBadParameter, "property " + std::to_string(nPropertyId) + " is not simulated");
    const CSettings settings = _Settings();
    const uint32_t nLength = settings.m_nFault == kFaultShortProperty ? kFaultPropertyLength : 4;
    auto* pData = static_cast<ABS_DATA*>(_Allocate(offsetof(ABS_DATA, Data) + nLength));
    pData->Length = nLength;
    uint8_t* pBytes = reinterpret_cast<uint8_t*>(pData) + offsetof(ABS_DATA, Data);
    for (uint32_t i = 0; i < nLength; ++i)
        pBytes[i] = static_cast<uint8_t>(settings.m_nDeviceVersion >> (8 * i));
    *ppData = pData;
    return ABS_STATUS_OK;
}

ABS_STATUS CBsapiSim::RawGrab(ABS_CONNECTION hConnection, ABS_OPERATION* pOperation,
                              uint32_t nPurpose, const ABS_GRAB_FORMAT* pFormat,
                              ABS_IMAGE** ppImage, void** ppSecond, uint32_t nFlags)
{
    _SendResumeIfOwed();
    uint64_t nGrab = 0;
    const ABS_STATUS nStatus =
        _Begin(hConnection, pOperation, nPurpose, pFormat, nFlags, ppImage, ppSecond, nGrab);
    if (nGrab == 0)
        return nStatus;
    return _Wait(nGrab, ppImage, ppSecond);
}

// Checks the call and registers the grab (nGrab), or answers at once.
ABS_STATUS CBsapiSim::_Begin(ABS_CONNECTION hConnection, ABS_OPERATION* pOperation,
                             uint32_t nPurpose, const ABS_GRAB_FORMAT* pFormat, uint32_t nFlags,
                             ABS_IMAGE** ppImage, void** ppSecond, uint64_t& nGrab)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nGrabs;
    m_stats.m_nLastPurpose = nPurpose;
    m_stats.m_nLastGrabFlags = nFlags;
    if (pFormat) {
        m_stats.m_nLastFormatFirst = pFormat->First;
        m_stats.m_nLastFormatSecond = pFormat->Second;
    }
    if (pOperation) {
        m_stats.m_nLastOperationId = pOperation->OperationID;
        m_stats.m_nLastTimeout = pOperation->Timeout;
        m_stats.m_nLastOperationFlags = pOperation->Flags;
        m_stats.m_bLastContextNull = pOperation->Context == nullptr;
        m_stats.m_bLastCallbackSet = pOperation->Callback != nullptr;
    }
    _Refresh();
    if (const ABS_STATUS nStatus = _Check(true, hConnection))
        return nStatus;
    if (!pOperation || !pFormat || !ppImage || !ppSecond)
        return _Refuse(kStatusBadParameter, "grab without an operation, a format or result places");
    *ppImage = nullptr;
    *ppSecond = nullptr;
    const bool bKnownFormat = pFormat->First == kFormatFirst &&
                              std::count(std::begin(kFormatSeconds), std::end(kFormatSeconds),
                                         pFormat->Second) == 1;
    if (!bKnownFormat)
        return _Refuse(kStatusBadParameter, "grab format {" + std::to_string(pFormat->First) + ", " +
                                                std::to_string(pFormat->Second) + "} is not known");
    if (const std::optional<uint32_t> oAnswer = m_script.Take(kCallGrab)) {
        if (*oAnswer != 0)
            return static_cast<ABS_STATUS>(*oAnswer);
        return _HandImage(hConnection, ppImage, ppSecond);
    }
    CGrab grab;
    grab.m_hConnection = hConnection;
    grab.m_operation = *pOperation;
    grab.m_tStart = Clock::now();
    if (pOperation->Callback)
        m_oLastOperation = *pOperation;
    nGrab = m_nNextGrab++;
    m_mGrabs[nGrab] = grab;
    return ABS_STATUS_OK;
}

// Every look is bounded; the wait as a whole ends with the finger, a cancel,
// a close, an unplug or a suspend.
ABS_STATUS CBsapiSim::_Wait(uint64_t nGrab, ABS_IMAGE** ppImage, void** ppSecond)
{
    for (;;) {
        bool bSuspended = false;
        std::vector<ABS_OPERATION> suspended;
        {
            const CCriticalSectionLock lock(m_lock);
            _RefreshWhileWaiting();
            const CGrab grab = m_mGrabs.at(nGrab);
            const EState state = _Look(grab);
            if (state != EState::kWaiting)
                m_mGrabs.erase(nGrab);
            switch (state) {
            case EState::kFinger:
                return _HandImage(grab.m_hConnection, ppImage, ppSecond);
            case EState::kEnded:
                return kStatusCanceled;
            case EState::kUnplugged:
                return kStatusNoDevice;
            case EState::kSuspended:
                bSuspended = true;
                m_bSuspendTold = true;
                if (grab.m_operation.Callback)
                    suspended.push_back(grab.m_operation);
                break;
            case EState::kWaiting:
                break;
            }
        }
        // The other process took the scanner: the grab learns it, then ends.
        if (bSuspended) {
            _Send(suspended, ABS_MSG_PROCESS_SUSPEND);
            return kStatusCanceled;
        }
        Sleep(kLookMilliseconds);
    }
}

CBsapiSim::EState CBsapiSim::_Look(const CGrab& grab) const
{
    if (grab.m_bEnded)
        return EState::kEnded;
    const CSettings settings = _Settings();
    if (settings.m_bSuspended)
        return EState::kSuspended;
    if (settings.m_nDevices == 0)
        return EState::kUnplugged;
    if (settings.m_nFingerDelayMs != kFingerNever &&
        Clock::now() - grab.m_tStart >= std::chrono::milliseconds(settings.m_nFingerDelayMs))
        return EState::kFinger;
    return EState::kWaiting;
}

// Under the lock. The picture, top row first, in a buffer of exactly its
// pixels; a fault makes the record claim another size.
ABS_STATUS CBsapiSim::_HandImage(ABS_CONNECTION hConnection, ABS_IMAGE** ppImage, void** ppSecond)
{
    CGreyImage picture;
    if (!_Picture(hConnection, picture))
        return kStatusBadParameter;
    const size_t nPixels = picture.GetPixels().size();
    auto* pImage = static_cast<ABS_IMAGE*>(_Allocate(offsetof(ABS_IMAGE, ImageData) + nPixels));
    pImage->Width = picture.GetWidth();
    pImage->Height = picture.GetHeight();
    switch (_Settings().m_nFault) {
    case kFaultHugeImage:
        pImage->Width = kFaultImageSide;
        pImage->Height = kFaultImageSide;
        break;
    case kFaultEmptyImage:
        pImage->Height = 0;
        break;
    default:
        break;
    }
    std::memcpy(reinterpret_cast<uint8_t*>(pImage) + offsetof(ABS_IMAGE, ImageData),
                picture.GetPixels().data(), nPixels);
    *ppImage = pImage;
    *ppSecond = _Allocate(kSecondResultBytes);
    ++m_mConnections[hConnection];
    ++m_stats.m_nImages;
    return ABS_STATUS_OK;
}

bool CBsapiSim::_Picture(ABS_CONNECTION hConnection, CGreyImage& image)
{
    const CSettings settings = _Settings();
    if (!settings.m_sImageFile.empty()) {
        std::string why;
        if (ReadGreyImageFile(settings.m_sImageFile, image, why))
            return true;
        _Report("image file " + why);
        return false;
    }
    if (settings.m_nWidth == 0 || settings.m_nHeight == 0 || settings.m_nWidth > kMaxSide ||
        settings.m_nHeight > kMaxSide) {
        _Report("native size " + std::to_string(settings.m_nWidth) + " x " +
                std::to_string(settings.m_nHeight) + " is outside 1 to " + std::to_string(kMaxSide));
        return false;
    }
    const auto it = m_mConnections.find(hConnection);
    const uint32_t nFrame = it == m_mConnections.end() ? 0 : it->second;
    image = GenerateRidges(settings.m_nWidth, settings.m_nHeight, settings.m_nSeed, nFrame);
    return true;
}

void* CBsapiSim::_Allocate(size_t nBytes)
{
    void* pBuffer = std::calloc(1, std::max<size_t>(nBytes, 1));
    if (!pBuffer)
        throw std::bad_alloc();
    m_buffers.insert(pBuffer);
    ++m_stats.m_nBuffersHandedOut;
    return pBuffer;
}

// 0, or why the call cannot go on: not initialised, or (bConnection) a
// handle that is not open.
ABS_STATUS CBsapiSim::_Check(bool bConnection, ABS_CONNECTION hConnection)
{
    if (m_nInitializations == 0)
        return _Refuse(kStatusNotInitialized, "call before ABSInitialize");
    if (bConnection && m_mConnections.count(hConnection) == 0)
        return kStatusInvalidHandle;  // closed, maybe by another thread: no problem of the caller's
    return ABS_STATUS_OK;
}

ABS_STATUS CBsapiSim::Cancel(ABS_CONNECTION hConnection, uint32_t nOperationId)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nCancels;
    m_stats.m_nLastCancelHandle = hConnection;
    m_stats.m_nLastCancelOperation = nOperationId;
    _Refresh();
    if (const std::optional<uint32_t> oAnswer = m_script.Take(kCallCancel); oAnswer && *oAnswer)
        return static_cast<ABS_STATUS>(*oAnswer);
    if (const ABS_STATUS nStatus = _Check(true, hConnection))
        return nStatus;
    for (auto& entry : m_mGrabs) {
        CGrab& grab = entry.second;
        if (grab.m_hConnection == hConnection && grab.m_operation.OperationID == nOperationId)
            grab.m_bEnded = true;
    }
    return ABS_STATUS_OK;  // also when nothing was pending
}

ABS_STATUS CBsapiSim::Free(void* pBuffer)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nFrees;
    if (!pBuffer)
        return ABS_STATUS_OK;
    if (m_buffers.erase(pBuffer) == 0)
        return _Refuse(kStatusBadParameter, "ABSFree of a buffer the library did not hand out");
    std::free(pBuffer);
    return ABS_STATUS_OK;
}

CSettings CBsapiSim::_Settings() const
{
    CSettings settings = m_stored;
    const COverrides& o = m_overrides;
    settings.m_nDevices = o.m_oDevices.value_or(settings.m_nDevices);
    settings.m_nDeviceVersion = o.m_oDeviceVersion.value_or(settings.m_nDeviceVersion);
    settings.m_nWidth = o.m_oWidth.value_or(settings.m_nWidth);
    settings.m_nHeight = o.m_oHeight.value_or(settings.m_nHeight);
    settings.m_nSeed = o.m_oSeed.value_or(settings.m_nSeed);
    settings.m_sImageFile = o.m_oImageFile.value_or(settings.m_sImageFile);
    settings.m_nFingerDelayMs = o.m_oFingerDelayMs.value_or(settings.m_nFingerDelayMs);
    settings.m_bSuspended = o.m_bSuspended.value_or(settings.m_bSuspended);
    settings.m_nFault = o.m_oFault.value_or(settings.m_nFault);
    return settings;
}

void CBsapiSim::_Refresh()
{
    m_tRefreshed = Clock::now();
    m_stored = ReadSettings();
    if (m_script.IsInProcess())
        return;
    m_problems.LoadScript(m_script, m_stored.m_vScript);
}

void CBsapiSim::_RefreshWhileWaiting()
{
    if (Clock::now() - m_tRefreshed >= kRecheck)
        _Refresh();
}

std::vector<ABS_OPERATION> CBsapiSim::_Recipients() const
{
    std::vector<ABS_OPERATION> recipients;
    for (const auto& entry : m_mGrabs)
        if (!entry.second.m_bEnded && entry.second.m_operation.Callback)
            recipients.push_back(entry.second.m_operation);
    if (recipients.empty() && m_oLastOperation)
        recipients.push_back(*m_oLastOperation);
    return recipients;
}

std::vector<ABS_OPERATION> CBsapiSim::_TakeResume()
{
    if (!m_bSuspendTold || _Settings().m_bSuspended)
        return {};
    m_bSuspendTold = false;
    return _Recipients();
}

void CBsapiSim::_SendResumeIfOwed()
{
    std::vector<ABS_OPERATION> recipients;
    {
        const CCriticalSectionLock lock(m_lock);
        if (m_nInitializations == 0)
            return;
        _Refresh();
        recipients = _TakeResume();
    }
    _Send(recipients, ABS_MSG_PROCESS_RESUME);
}

// Without the lock: the callback may call the library.
uint32_t CBsapiSim::_Send(const std::vector<ABS_OPERATION>& recipients, uint32_t nMessage)
{
    if (recipients.empty())
        return 0;
    auto pDelivery = std::make_unique<CDelivery>(CDelivery{recipients, nMessage});
    unsigned nThreadId = 0;
    const uintptr_t hThread = _beginthreadex(nullptr, 0, MessengerThread, pDelivery.get(), 0, &nThreadId);
    if (!hThread) {
        const CCriticalSectionLock lock(m_lock);
        _Report("no thread for a message to the callback");
        return 0;
    }
    pDelivery.release();  // the thread's now
    const DWORD nWait = WaitForSingleObject(reinterpret_cast<HANDLE>(hThread), kMessageWaitMilliseconds);
    CloseHandle(reinterpret_cast<HANDLE>(hThread));
    const CCriticalSectionLock lock(m_lock);
    m_stats.m_nMessages += static_cast<uint32_t>(recipients.size());
    if (nWait != WAIT_OBJECT_0)
        _Report("a callback did not return within " + std::to_string(kMessageWaitMilliseconds) + " ms");
    return static_cast<uint32_t>(recipients.size());
}

void CBsapiSim::_Report(const std::string& sProblem)
{
    m_problems.Report(sProblem);
}

ABS_STATUS CBsapiSim::_Refuse(ABS_STATUS nStatus, const std::string& sProblem)
{
    _Report(sProblem);
    return nStatus;
}

// Pending grabs end as cancelled: the connections they wait on are gone.
void CBsapiSim::Reset()
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides = COverrides();
    m_script.Clear();
    m_mConnections.clear();
    for (auto& entry : m_mGrabs)
        entry.second.m_bEnded = true;
    m_oLastOperation.reset();
    m_bSuspendTold = false;
    m_stats = CBsapiSimStats();
    m_problems.Clear();
}

void CBsapiSim::SetDevices(uint32_t nDevices)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oDevices = nDevices;
}

void CBsapiSim::SetDeviceVersion(uint32_t nVersion)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oDeviceVersion = nVersion;
}

void CBsapiSim::SetNativeSize(uint32_t nWidth, uint32_t nHeight)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oWidth = nWidth;
    m_overrides.m_oHeight = nHeight;
}

void CBsapiSim::SetSeed(uint32_t nSeed)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oSeed = nSeed;
    m_overrides.m_oImageFile = WString();
}

void CBsapiSim::SetImageFile(const WString& sPath)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oImageFile = sPath;
}

void CBsapiSim::SetFingerDelay(uint32_t nMilliseconds)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oFingerDelayMs = nMilliseconds;
}

void CBsapiSim::SetFault(uint32_t nFault)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oFault = nFault < kFaultCount ? nFault : kFaultNone;
}

// A suspend reaches pending grabs at their next look; a resume is sent here.
void CBsapiSim::SetSuspended(bool bSuspended)
{
    std::vector<ABS_OPERATION> recipients;
    {
        const CCriticalSectionLock lock(m_lock);
        m_overrides.m_bSuspended = bSuspended;
        recipients = _TakeResume();
    }
    _Send(recipients, ABS_MSG_PROCESS_RESUME);
}

uint32_t CBsapiSim::SendMessage(uint32_t nMessage)
{
    std::vector<ABS_OPERATION> recipients;
    {
        const CCriticalSectionLock lock(m_lock);
        recipients = _Recipients();
    }
    return _Send(recipients, nMessage);
}

void CBsapiSim::SetScript(std::vector<CScriptEntry> entries)
{
    const CCriticalSectionLock lock(m_lock);
    m_script.SetInProcess(std::move(entries));
}

CBsapiSimStats CBsapiSim::GetStats()
{
    const CCriticalSectionLock lock(m_lock);
    CBsapiSimStats stats = m_stats;
    stats.m_nBuffersLive = static_cast<uint32_t>(m_buffers.size());
    stats.m_nOpenConnections = static_cast<uint32_t>(m_mConnections.size());
    stats.m_nPendingGrabs = 0;
    for (const auto& entry : m_mGrabs)
        stats.m_nPendingGrabs += entry.second.m_bEnded ? 0 : 1;
    stats.m_nInitializations = m_nInitializations;
    return stats;
}

std::string CBsapiSim::GetLastProblem()
{
    const CCriticalSectionLock lock(m_lock);
    return m_problems.Last();
}

}  // namespace vsim::bsapi
