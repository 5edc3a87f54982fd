#include "drivers/CUpekSensor.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "image/CRawImg.h"
#include "support/Format.h"
#include "support/LittleEndian.h"
#include "support/Logging.h"

std::atomic<ABS_CONNECTION> CUpekSensor::m_hConnection{0};
std::atomic<bool> CUpekSensor::m_bLostFocus{false};

namespace {

const char* const kUsbFilter = "usb";
constexpr uint32_t kVersionBytes = 4;
// A USB bus addresses at most 127 devices: a longer list cannot be true, and
// its entries would lie beyond the buffer BSAPI handed out.
constexpr uint32_t kMaxDevices = 127;
constexpr DWORD kTerminatePauseMilliseconds = 50;
constexpr uint32_t kFrameWidth = 240;
constexpr uint32_t kFrameHeight = 368;
constexpr uint32_t kGrabPurpose = 1;
constexpr uint32_t kGrabFormatFirst = 5;

// Every buffer BSAPI hands out goes back through ABSFree, refused ones too.
struct CAbsFree {
    void operator()(void* pBuffer) const { ABSFree(pBuffer); }
};
template <class T>
using CAbsBuffer = std::unique_ptr<T, CAbsFree>;

void LogStatus(const WCHAR* pszPrefix, int32_t nStatus)
{
    LogErrorLine([&] { return WString(pszPrefix) + FormatDecimal(nStatus); });
}

void LogDebugText(const WCHAR* pszText)
{
    LogDebugLine([&] { return WString(pszText); });
}

// DSNs are 8-bit text; the log is wide.
WString Widen(const std::string& sText)
{
    WString sWide;
    for (const char c : sText)
        sWide += static_cast<WCHAR>(static_cast<unsigned char>(c));
    return sWide;
}

// The DSN at the start of entry nIndex, never read beyond that entry.
std::string DsnAt(const ABS_DEVICE_LIST& list, uint32_t nIndex)
{
    const char* pEntry = reinterpret_cast<const char*>(&list) + offsetof(ABS_DEVICE_LIST, List) +
                         size_t(nIndex) * ABS_DEVICE_LIST_ITEM_SIZE;
    const char* pEnd = std::find(pEntry, pEntry + ABS_DEVICE_LIST_ITEM_SIZE, '\0');
    return std::string(pEntry, pEnd);
}

void LogDevices(const ABS_DEVICE_LIST& list)
{
    if (!IsDebugEnabled())
        return;
    const WString sPrefix = W("CUpekSensor::OpenSensor(): ABSEnumerateDevices(): ");
    const uint32_t nCount = list.NumDevices;
    if (nCount == 0) {
        LogDebug((sPrefix + W("no device found")).c_str());
    } else if (nCount == 1) {
        LogDebug((sPrefix + W("one device found: ") + Widen(DsnAt(list, 0))).c_str());
    } else {
        LogDebug((sPrefix + FormatDecimal(nCount) + W(" found")).c_str());
        for (uint32_t i = 0; i < nCount; ++i)
            LogDebug((FormatDecimal(i) + W(".) device: ") + Widen(DsnAt(list, i))).c_str());
    }
}

// Strict bounds on both sides; 0 for a version outside the three ranges.
int32_t GenerationOf(uint32_t nVersion)
{
    if (nVersion > 0x04010000 && nVersion < 0x04020000)
        return 1;
    if (nVersion > 0x04020000 && nVersion < 0x05000000)
        return 2;
    if (nVersion > 0x05000000)
        return 3;
    return 0;
}

ABS_GRAB_FORMAT GrabFormatOf(int32_t nGeneration)
{
    switch (nGeneration) {
    case 2:
        return {kGrabFormatFirst, 18};
    case 3:
        return {kGrabFormatFirst, 39};
    default:
        // Generation 1, and a scanner not classified (yet): the first
        // generation's format, the one every generation's library knows.
        return {kGrabFormatFirst, 11};
    }
}

}  // namespace

CUpekSensor::CUpekSensor()
{
    const ABS_STATUS nStatus = ABSInitialize();
    if (nStatus != ABS_STATUS_OK)
        LogStatus(W("CUpekSensor::CUpekSensor(): ABSInitialize() returns "), nStatus);
}

CUpekSensor::~CUpekSensor()
{
    const ABS_STATUS nStatus = ABSTerminate();
    if (nStatus != ABS_STATUS_OK)
        LogStatus(W("CUpekSensor::~CUpekSensor(): ABSTerminate() returns "), nStatus);
    Sleep(kTerminatePauseMilliseconds);
}

void WINAPI CUpekSensor::UpekCBF(const ABS_OPERATION* /*pOperation*/, uint32_t nMessage,
                                 void* /*pMessageData*/)
{
    if (nMessage == ABS_MSG_PROCESS_SUSPEND) {
        LogDebugText(W("CUpekSensor::UpekCBF(): ABS_MSG_PROCESS_SUSPEND"));
        m_bLostFocus.store(true);
    } else if (nMessage == ABS_MSG_PROCESS_RESUME) {
        LogDebugText(W("CUpekSensor::UpekCBF(): ABS_MSG_PROCESS_RESUME"));
        m_bLostFocus.store(false);
    }
}

bool CUpekSensor::IsSensorAttached()
{
    const int32_t nStatus = OpenSensor();
    if (nStatus == 0)
        CloseSensor();
    return nStatus == 0;
}

int32_t CUpekSensor::OpenSensor()
{
    if (m_bLostFocus.load())
        return UPEK_STATUS_LOST_FOCUS;
    std::string sDsn;
    const int32_t nList = _FirstDevice(sDsn);
    if (nList != 0)
        return nList;
    const int32_t nOpen = _Open(sDsn);
    if (nOpen != 0)
        return nOpen;
    m_bOpen.store(true);
    return _ReadGeneration();
}

// The DSN of the first scanner on USB; later ones are never opened.
int32_t CUpekSensor::_FirstDevice(std::string& sDsn)
{
    ABS_DEVICE_LIST* pReturned = nullptr;
    ABS_STATUS nStatus;
    {
        const CCriticalSectionLock lock(m_lock);
        nStatus = ABSEnumerateDevices(kUsbFilter, &pReturned);
    }
    const CAbsBuffer<ABS_DEVICE_LIST> pList(pReturned);
    if (nStatus != ABS_STATUS_OK) {
        LogStatus(W("CUpekSensor::OpenSensor(): ABSEnumerateDevices() returns "), nStatus);
        return nStatus;
    }
    if (!pList || pList->NumDevices > kMaxDevices) {
        LogErrorLine([&] {
            return pList ? W("CUpekSensor::OpenSensor(): ABSEnumerateDevices() lists ") +
                               FormatDecimal(pList->NumDevices) + W(" devices: refused")
                         : WString(W("CUpekSensor::OpenSensor(): ABSEnumerateDevices() gave no list"));
        });
        return UPEK_STATUS_BAD_RECORD;
    }
    LogDevices(*pList);
    if (pList->NumDevices == 0)
        return UPEK_STATUS_NO_DEVICE;
    sDsn = DsnAt(*pList, 0);
    return 0;
}

// A connection of an earlier open (one that failed after ABSOpen) is closed
// first. Both in one hold of the lock, so that an open on another thread
// cannot slip its handle in between and have it overwritten unclosed.
int32_t CUpekSensor::_Open(const std::string& sDsn)
{
    ABS_STATUS nStale = ABS_STATUS_OK;
    ABS_STATUS nStatus;
    bool bStale = false;
    {
        const CCriticalSectionLock lock(m_lock);
        if (const ABS_CONNECTION hStale = m_hConnection.exchange(0)) {
            bStale = true;
            nStale = ABSClose(hStale);
        }
        ABS_CONNECTION hNew = 0;
        nStatus = ABSOpen(sDsn.c_str(), &hNew);
        // Only a granted handle is kept: a failed open's would be closed later.
        if (nStatus == ABS_STATUS_OK)
            m_hConnection.store(hNew);
    }
    if (bStale)
        LogStatus(W("CUpekSensor::OpenSensor(): ABSClose() returns "), nStale);
    if (nStatus != ABS_STATUS_OK)
        LogStatus(W("CUpekSensor::OpenSensor(): ABSOpen() returns "), nStatus);
    return nStatus;
}

// A failure leaves the connection open; the next open closes it first.
int32_t CUpekSensor::_ReadGeneration()
{
    ABS_DATA* pReturned = nullptr;
    ABS_STATUS nStatus;
    {
        const CCriticalSectionLock lock(m_lock);
        nStatus = ABSGetDeviceProperty(m_hConnection.load(), ABS_DEVPROP_DEVICE_VERSION, &pReturned);
    }
    const CAbsBuffer<ABS_DATA> pData(pReturned);
    if (nStatus != ABS_STATUS_OK)
        return nStatus;
    if (!pData || pData->Length == 0)
        return 0;
    if (pData->Length < kVersionBytes) {
        // Shorter than a version: its bytes end before the fourth.
        LogErrorLine([&] {
            return W("CUpekSensor::OpenSensor(): ABSGetDeviceProperty(): ") +
                   FormatDecimal(pData->Length) + W(" bytes, too few for the device version: refused");
        });
        return 0;
    }
    const uint32_t nVersion = LoadLE32(reinterpret_cast<const uint8_t*>(pData.get()) +
                                       offsetof(ABS_DATA, Data));
    LogDebugLine([&] {
        return W("ABSGetDeviceProperty: ABS_DEVPROP_DEVICE_VERSION: ") + FormatHex32(nVersion);
    });
    if (const int32_t nGeneration = GenerationOf(nVersion))
        m_nDeviceType.store(nGeneration);
    return 0;
}

// The grab runs outside the lock, so that CloseSensor from another thread
// can cancel it.
int32_t CUpekSensor::CaptureImage(CRawImg* pImage)
{
    if (!m_bOpen.load()) {
        const int32_t nOpen = OpenSensor();
        if (nOpen != 0)
            return nOpen;
    }
    // A stop that came before the open had nothing to cancel: honour it
    // here, or the grab would wait for a finger nobody expects.
    if (IsEndRequested(this)) {
        CloseSensor();
        return ABS_STATUS_CANCELED;
    }
    ABS_OPERATION operation = {0, nullptr, &UpekCBF, 0, 0};
    const ABS_GRAB_FORMAT format = GrabFormatOf(m_nDeviceType.load());
    ABS_IMAGE* pReturnedImage = nullptr;
    void* pReturnedSecond = nullptr;
    const ABS_STATUS nStatus = ABSRawGrab(m_hConnection.load(), &operation, kGrabPurpose, &format,
                                          &pReturnedImage, &pReturnedSecond, 0);
    const CAbsBuffer<ABS_IMAGE> pGrabbed(pReturnedImage);
    const CAbsBuffer<void> pSecond(pReturnedSecond);
    if (nStatus != ABS_STATUS_OK)
        return _GrabFailed(nStatus);
    if (!pGrabbed)
        return 0;  // nothing delivered: the record stays as it was
    return _Deliver(*pGrabbed, pImage);
}

int32_t CUpekSensor::_GrabFailed(ABS_STATUS nStatus)
{
    LogStatus(W("CUpekSensor::CaptureImage: ABSGrab() returns "), nStatus);
    if (nStatus == ABS_STATUS_CANCELED && m_bLostFocus.load()) {
        LogDebugText(W("CUpekSensor::CaptureImage: if (-5012 == nResult && CUpekSensor::m_bLostFocus)"));
        m_bLostFocus.store(false);
        return UPEK_STATUS_LOST_FOCUS;
    }
    return nStatus;
}

// Flipped first, then fitted: BSAPI's first row ends up as the last.
int32_t CUpekSensor::_Deliver(const ABS_IMAGE& grabbed, CRawImg* pImage)
{
    const uint64_t nPixels = uint64_t(grabbed.Width) * grabbed.Height;
    // BSAPI does not say how large its buffer is: a size the image record
    // cannot take (or none) is refused before a pixel is read.
    if (nPixels == 0 || nPixels > CRawImg::kMaxImageBytes || !pImage) {
        LogErrorLine([&] {
            return W("CUpekSensor::CaptureImage: ABSRawGrab() image of ") +
                   FormatDecimal(grabbed.Width) + W(" x ") + FormatDecimal(grabbed.Height) +
                   W(" pixels: refused");
        });
        return UPEK_STATUS_BAD_RECORD;
    }
    CMyByteArray pixels(static_cast<uint32_t>(nPixels));
    const uint8_t* pSource = reinterpret_cast<const uint8_t*>(&grabbed) + offsetof(ABS_IMAGE, ImageData);
    std::memcpy(pixels.GetData(), pSource, pixels.GetSize());
    if (!pImage->SetImage(pixels, grabbed.Width, grabbed.Height, 8))
        return UPEK_STATUS_BAD_RECORD;
    pImage->FlipVertical();
    pImage->FitToFrame(kFrameWidth, kFrameHeight);
    return 0;
}

// Harmless when closed: the cancel goes to BSAPI even without a connection.
void CUpekSensor::CloseSensor()
{
    ABS_STATUS nCancel;
    {
        const CCriticalSectionLock lock(m_lock);
        nCancel = ABSCancelOperation(m_hConnection.load(), 0);
    }
    if (nCancel != ABS_STATUS_OK)
        LogStatus(W("CUpekSensor::CloseSensor(): ABSCancelOperation() returns "), nCancel);
    ABS_STATUS nClose = ABS_STATUS_OK;
    {
        const CCriticalSectionLock lock(m_lock);
        if (const ABS_CONNECTION hOpen = m_hConnection.exchange(0))
            nClose = ABSClose(hOpen);
    }
    if (nClose != ABS_STATUS_OK)
        LogStatus(W("CUpekSensor::CloseSensor(): ABSClose() returns "), nClose);
    const CCriticalSectionLock lock(m_lock);
    m_bOpen.store(false);
}
