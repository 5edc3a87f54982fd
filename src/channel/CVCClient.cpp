#include "channel/CVCClient.h"

#include <cstring>

#include "channel/CVCData.h"
#include "drivers/CSensor.h"
#include "support/Format.h"
#include "support/Logging.h"

namespace {

char kChannelName[] = "VESKTSC";
constexpr uint32_t kImageEvent = FS_EVENT_IMAGE;
constexpr uint32_t kFirstEvent = 1025;
constexpr uint32_t kLastEvent = 6000;

WString Decimal(uint64_t nValue) { return FormatDecimal(static_cast<int64_t>(nValue)); }

bool HasPixels(const FingerscannerImage* pImage)
{
    return pImage && pImage->pixels && pImage->width && pImage->height;
}

}  // namespace

CVCClient::~CVCClient()
{
    Terminate();
    m_cWriteBuffer.RemoveAll();
}

bool CVCClient::Initialize(PCHANNEL_ENTRY_POINTS pEntryPoints)
{
    if (m_bInitialized)
        return false;
    // A table shorter than the classic one cannot be used either.
    if (!pEntryPoints || pEntryPoints->protocolVersion != VIRTUAL_CHANNEL_VERSION_WIN2000 ||
        pEntryPoints->cbSize < sizeof(CHANNEL_ENTRY_POINTS)) {
        Terminate();
        return false;
    }
    Terminate();
    m_pChFnPtr = static_cast<PCHANNEL_ENTRY_POINTS>(LocalAlloc(LPTR, pEntryPoints->cbSize));
    if (!m_pChFnPtr)
        return false;
    std::memcpy(m_pChFnPtr, pEntryPoints, pEntryPoints->cbSize);

    CHANNEL_DEF definition;
    std::memset(&definition, 0, sizeof definition);
    std::strncpy(definition.name, kChannelName, sizeof definition.name);
    definition.options = CHANNEL_OPTION_SHOW_PROTOCOL;
    const UINT nResult = m_pChFnPtr->pVirtualChannelInit
                             ? m_pChFnPtr->pVirtualChannelInit(&m_hInitHandle, &definition, 1,
                                                               VIRTUAL_CHANNEL_VERSION_WIN2000,
                                                               VCInitEventProc)
                             : UINT(CHANNEL_RC_BAD_PROC);
    if (nResult != CHANNEL_RC_OK) {
        LogDebugLine([nResult] {
            return W("CVCClient::CVCClient(): m_pChFnPtr->pVirtualChannelInit Failed. ErrorCode: ") + Decimal(nResult);
        });
        return false;
    }
    LogDebugLine([] { return W("CVCClient::CVCClient(): m_pChFnPtr->pVirtualChannelInit succeeded"); });
    if (definition.options & CHANNEL_OPTION_INITIALIZED) {
        m_bInitialized = true;
        return true;
    }
    LocalFree(m_pChFnPtr);
    m_pChFnPtr = nullptr;
    return false;
}

void CVCClient::Terminate()
{
    if (m_pChFnPtr) {
        if (m_bInitialized && m_pChFnPtr->pVirtualChannelClose)
            m_pChFnPtr->pVirtualChannelClose(m_hOpenHandle);
        LocalFree(m_pChFnPtr);
        m_pChFnPtr = nullptr;
    }
    m_bInitialized = false;
    m_hOpenHandle = 0;
    m_hInitHandle = nullptr;
}

void CVCClient::OnInitEvent(UINT nEvent)
{
    switch (nEvent) {
    case CHANNEL_EVENT_INITIALIZED:
        LogDebugLine([] { return W("VCInitEventProc: CHANNEL_EVENT_INITIALIZED"); });
        break;
    case CHANNEL_EVENT_CONNECTED: {
        const bool bOpened = m_pChFnPtr && m_pChFnPtr->pVirtualChannelOpen &&
                             m_pChFnPtr->pVirtualChannelOpen(m_hInitHandle, &m_hOpenHandle, kChannelName,
                                                             VCOpenEventProc) == CHANNEL_RC_OK;
        LogDebugLine([bOpened] {
            return bOpened ? W("VCInitEventProc: CHANNEL_EVENT_CONNECTED success")
                           : W("VCInitEventProc: CHANNEL_EVENT_CONNECTED failure");
        });
        break;
    }
    case CHANNEL_EVENT_V1_CONNECTED:
        LogDebugLine([] { return W("VCInitEventProc: Connecting to a non Windows 2000 Terminal Server"); });
        break;
    case CHANNEL_EVENT_DISCONNECTED:
        LogDebugLine([] { return W("VCInitEventProc: CHANNEL_EVENT_DISCONNECTED"); });
        break;
    case CHANNEL_EVENT_TERMINATED:
        LogDebugLine([] { return W("VCInitEventProc: CHANNEL_EVENT_TERMINATED"); });
        Terminate();
        break;
    default:
        break;
    }
}

void CVCClient::OnOpenEvent(UINT nEvent, const void* pData, UINT32 nLength, UINT32 nFlags)
{
    LogDebugLine([] { return W("VCClient: VirtualChannelOpenEvent received"); });
    if (nEvent == CHANNEL_EVENT_WRITE_COMPLETE || nEvent == CHANNEL_EVENT_WRITE_CANCELLED) {
        m_bWritePending.store(false);
        LogDebugLine([nEvent] {
            return nEvent == CHANNEL_EVENT_WRITE_COMPLETE ? W("VCClient: CHANNEL_EVENT_WRITE_COMPLETE")
                                                          : W("VCClient: CHANNEL_EVENT_WRITE_CANCELED");
        });
        return;
    }
    if (nEvent != CHANNEL_EVENT_DATA_RECEIVED)
        return;
    LogDebugLine([] { return W("VCClient: CHANNEL_EVENT_DATA_RECEIVED"); });
    // The session side's messages are 64-byte envelopes, each in one chunk.
    if (!(nFlags & CHANNEL_FLAG_FIRST)) {
        LogErrorLine([] { return W("VCClient: VirtualChannelOpenEvent: Error expecting whole data chunk at once !"); });
        return;
    }
    CMyByteArray envelope(pData ? nLength : 0);
    if (envelope.GetSize())
        std::memcpy(envelope.GetData(), pData, envelope.GetSize());
    CVCData message;
    if (!message.Deserialize(envelope)) {
        LogErrorLine([] { return W("VCClient: VirtualChannelOpenEvent: Error unknown data stream !"); });
        return;
    }
    const uint32_t nCallingProcessID = message.GetCallingProcessID();
    if (m_nCallingProcessID == 0)
        m_nCallingProcessID = nCallingProcessID;
    LogDebugLine([&] {
        return W("CVCClient: VCOpenEventProc(): CHANNEL_EVENT_DATA_RECEIVED: nCmd: ") +
               Decimal(message.GetCmd()) + W(" nCallingProcessID: ") + Decimal(nCallingProcessID);
    });
    if (nCallingProcessID != m_nCallingProcessID) {
        m_nCallingProcessID = nCallingProcessID;
        if (IsWarningEnabled())
            LogWarning(W("CVCClient: VCOpenEventProc(): CHANNEL_EVENT_DATA_RECEIVED: nCallingProcessID "
                         "has changed. Stopping Sensor."));
        StopDataAquisition();
        m_bSensorRunning = false;
    }
    _OnCommand(message.GetCmd(), nCallingProcessID);
}

void CVCClient::_OnCommand(uint32_t nCmd, uint32_t nCallingProcessID)
{
    if (nCmd == VC_CMD_RELEASE) {
        StopDataAquisition();
        m_bSensorRunning = false;
        return;
    }
    if (nCmd != VC_CMD_GET_IMAGE)
        return;
    const uint32_t nStarted =
        m_bSensorRunning ? uint32_t(FS_START_NO_THREAD)
                         : CSensor::StartExtraction(&SensorCallback, 0, nCallingProcessID, 0, 0, 1, 1, 1);
    if (nStarted == FS_START_OK)
        m_bSensorRunning = true;
    else if (nStarted == FS_START_NO_SENSOR)
        _Answer(nCallingProcessID, FS_EVENT_REMOTE_NO_SENSOR);
    else
        _Answer(nCallingProcessID, FS_EVENT_REMOTE_BUSY);
}

void CVCClient::_Answer(uint32_t nCallingProcessID, uint32_t nCode)
{
    if (WriteVCData(nCallingProcessID, nCode, nullptr))
        LogDebugLine([] { return W("VCOpenEventProc: Writing data success"); });
    else
        LogErrorLine([] { return W("VCOpenEventProc: Writing data error"); });
}

bool CVCClient::WriteVCData(uint32_t nCallingProcessID, uint32_t nCode, const FingerscannerImage* pImage)
{
    if (nCode == 0)
        return false;
    CCriticalSectionLock lock(m_csWrite);
    if (m_bWritePending.load()) {
        LogErrorLine([nCode] {
            return W("CVCClient::WriteVCData(): Error unable to write, because of pendig write operation: nCMD: ") +
                   Decimal(nCode);
        });
        return false;
    }
    LogDebugLine([&] {
        return W("CVCClient::WriteVCData(): nCode: ") + Decimal(nCode) + W(" nCallingProcID: ") +
               Decimal(nCallingProcessID);
    });
    m_cWriteBuffer.RemoveAll();
    CVCData message;
    message.SetCmd(nCode);
    message.SetCallingProcessID(nCallingProcessID);
    if (nCode == kImageEvent) {
        if (!HasPixels(pImage))
            return false;
        // width x height is bounded by SetImage, which refuses what the
        // session side could not take; the product is taken in 64 bits.
        const uint64_t nBytes = uint64_t{pImage->width} * pImage->height;
        if (nBytes > CVCData::kMaxImageBytes)
            return false;
        CMyByteArray pixels(static_cast<uint32_t>(nBytes));
        std::memcpy(pixels.GetData(), pImage->pixels, pixels.GetSize());
        if (!message.SetImage(pixels, pImage->width, pImage->height))
            return false;
    }
    if (!message.Serialize(m_cWriteBuffer) || !m_pChFnPtr || !m_pChFnPtr->pVirtualChannelWrite)
        return false;
    m_bWritePending.store(true);
    if (m_pChFnPtr->pVirtualChannelWrite(m_hOpenHandle, m_cWriteBuffer.GetData(), m_cWriteBuffer.GetSize(),
                                         nullptr) == CHANNEL_RC_OK)
        return true;
    m_bWritePending.store(false);  // no completion comes for a write that was not queued
    return false;
}

VOID VCAPITYPE VCInitEventProc(LPVOID, UINT nEvent, LPVOID, UINT) { TheVCClient().OnInitEvent(nEvent); }

VOID VCAPITYPE VCOpenEventProc(DWORD, UINT nEvent, LPVOID pData, UINT32 nDataLength, UINT32,
                               UINT32 nDataFlags)
{
    TheVCClient().OnOpenEvent(nEvent, pData, nDataLength, nDataFlags);
}

uint32_t VESK_CALLBACK SensorCallback(uintptr_t, uint32_t nCode, uintptr_t nData, uintptr_t nContext)
{
    if (nCode < kFirstEvent || nCode > kLastEvent)
        return 0;
    const auto nCallingProcessID = static_cast<uint32_t>(nContext);
    if (nCode == kImageEvent) {
        const auto* pImage = reinterpret_cast<const FingerscannerImage*>(nData);
        if (HasPixels(pImage))
            TheVCClient().WriteVCData(nCallingProcessID, nCode, pImage);
        return 0;
    }
    const uint32_t nSent = nCode == FS_EVENT_CAPTURE_INTERRUPTED ? uint32_t(FS_EVENT_REMOTE_ABORTED) : nCode;
    TheVCClient().WriteVCData(nCallingProcessID, nSent, nullptr);
    return 0;
}

extern "C" BOOL VCAPITYPE VirtualChannelEntry(PCHANNEL_ENTRY_POINTS pEntryPoints)
{
    return TheVCClient().Initialize(pEntryPoints) ? TRUE : FALSE;
}
