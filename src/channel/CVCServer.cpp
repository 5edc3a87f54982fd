#include "channel/CVCServer.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "capture/ExtractionThreadData.h"
#include "channel/CVCData.h"
#include "support/CWinOS.h"
#include "support/Format.h"
#include "support/LittleEndian.h"
#include "support/Logging.h"
#include "support/ThisModule.h"

namespace {

char kChannelName[] = "VESKTSC";
constexpr DWORD kFirstReadPauseMs = 50;
constexpr DWORD kFragmentPauseMs = 10;
constexpr DWORD kDrainPauseMs = 20;
constexpr uint32_t kPduHeader = sizeof(CHANNEL_PDU_HEADER);
constexpr uint32_t kImageEvent = FS_EVENT_IMAGE;
// The bands of the event codes: session, prompts, failures (all forwarded)
// and results (which end the cycle).
constexpr uint32_t kFirstEvent = 1025;
constexpr uint32_t kFirstResult = 5501;
constexpr uint32_t kLastEvent = 6000;

// The largest envelope an image message can need: its header and the worst
// zlib stream of the largest image, the digest and a padding block, and the
// envelope's own 8 bytes. An announcement beyond it is refused unread.
constexpr uint32_t kMaxImage = CVCData::kMaxImageBytes;
constexpr uint32_t kMaxPlain = 32 + kMaxImage + (kMaxImage >> 12) + (kMaxImage >> 14) + 13;
constexpr uint32_t kMaxEnvelopeBytes = 8 + ((kMaxPlain + 20) / 8 + 1) * 8;
// A drain stops after this many chunks (several stale images' worth), so
// that a client that keeps sending cannot hold the session side in it.
constexpr uint32_t kMaxDrainedChunks = 2000;

WString Decimal(uint64_t nValue) { return FormatDecimal(static_cast<int64_t>(nValue)); }

template <class TFunction>
TFunction Resolve(HMODULE hModule, const char* pszName)
{
    return reinterpret_cast<TFunction>(reinterpret_cast<void (*)()>(GetProcAddress(hModule, pszName)));
}

}  // namespace

CVCServer::CVCServer(bool bNoCleanUp) : m_nCallingProcessID(GetCurrentProcessId())
{
    if (InitializeVC() && !bNoCleanUp)
        CleanUpChannel();
}

CVCServer::CVCServer(const SChannelApi& api, bool bNoCleanUp)
    : m_nCallingProcessID(GetCurrentProcessId()), m_pGivenApi(&api)
{
    if (InitializeVC() && !bNoCleanUp)
        CleanUpChannel();
}

CVCServer::~CVCServer()
{
    ReleaseRDPSensor();
    m_nCallingProcessID = 0;
}

void CVCServer::_Clear()
{
    m_pfnOpen = nullptr;
    m_pfnClose = nullptr;
    m_pfnWrite = nullptr;
    m_pfnRead = nullptr;
    m_pfnQuery = nullptr;
    m_hWtsApi = nullptr;
    m_hChannel = nullptr;
}

bool CVCServer::InitializeVC()
{
    LogDebugLine([] { return W("CVCServer::InitializeVC()"); });
    if (!IsRemoteSession())
        return false;
    if (m_pfnOpen || m_pfnClose || m_pfnWrite || m_pfnRead || m_pfnQuery || m_hWtsApi || m_hChannel)
        DestroyVC();
    if (!_Bind())
        return false;
    m_hChannel = m_pfnOpen(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, kChannelName);
    if (!m_hChannel) {
        const DWORD nError = GetLastError();
        LogErrorLine([nError] {
            return W("CVCServer::InitializeVC(): WTSVirtualChannelOpen returned an error: ") + Decimal(nError);
        });
        if (m_hWtsApi)
            FreeLibrary(m_hWtsApi);
        _Clear();
        return false;
    }
    LogDebugLine([] { return W("CVCServer::InitializeVC() ... VC Initialized"); });
    return true;
}

// The five functions, loaded from WtsApi32.dll unless given.
bool CVCServer::_Bind()
{
    if (m_pGivenApi) {
        m_pfnOpen = m_pGivenApi->pfnOpen;
        m_pfnClose = m_pGivenApi->pfnClose;
        m_pfnWrite = m_pGivenApi->pfnWrite;
        m_pfnRead = m_pGivenApi->pfnRead;
        m_pfnQuery = m_pGivenApi->pfnQuery;
    } else {
        m_hWtsApi = LoadLibraryW(W("WtsApi32.dll"));
        if (!m_hWtsApi)
            return false;
        KeepLoadedForCaptures(W("WtsApi32.dll"));
        m_pfnOpen = Resolve<PfnOpen>(m_hWtsApi, "WTSVirtualChannelOpen");
        m_pfnClose = Resolve<PfnClose>(m_hWtsApi, "WTSVirtualChannelClose");
        m_pfnWrite = Resolve<PfnWrite>(m_hWtsApi, "WTSVirtualChannelWrite");
        m_pfnRead = Resolve<PfnRead>(m_hWtsApi, "WTSVirtualChannelRead");
        m_pfnQuery = GetProcAddress(m_hWtsApi, "WTSVirtualChannelQuery");
    }
    if (m_pfnOpen && m_pfnClose && m_pfnWrite && m_pfnRead && m_pfnQuery)
        return true;
    if (m_hWtsApi)
        FreeLibrary(m_hWtsApi);
    _Clear();
    return false;
}

void CVCServer::DestroyVC()
{
    LogDebugLine([] { return W("CVCServer::DestroyVC()"); });
    if (m_hChannel && m_pfnClose)
        m_pfnClose(m_hChannel);
    m_hChannel = nullptr;
    if (m_hWtsApi)
        FreeLibrary(m_hWtsApi);
    _Clear();
    LogDebugLine([] { return W("CVCServer::DestroyVC() finished"); });
}

bool CVCServer::WriteVCData(uint32_t nCommand)
{
    CCriticalSectionLock lock(m_csLock);
    LogDebugLine([] { return W("CVCServer::WriteVCData()"); });
    CVCData message;
    message.SetCmd(nCommand);
    message.SetCallingProcessID(m_nCallingProcessID);
    message.SetReserved(0);
    CMyByteArray envelope;
    if (!message.Serialize(envelope))
        return false;
    LogDebugLine([&] { return W("CVCServer::WriteVCData(): Data len: ") + Decimal(envelope.GetSize()); });
    if (!m_pfnWrite)
        return false;
    ULONG nWritten = 0;
    if (m_pfnWrite(m_hChannel, reinterpret_cast<PCHAR>(envelope.GetData()), envelope.GetSize(),
                   &nWritten) &&
        nWritten == envelope.GetSize()) {
        LogDebugLine([] { return W("CVCServer::WriteVCData(): all data written"); });
        return true;
    }
    const DWORD nError = GetLastError();
    LogErrorLine([&] {
        return W("CVCServer::WriteVCData(): WTSVirtualChannelWrite returned an error: ") +
               Decimal(nError) + W(" Written Bytes: ") + Decimal(nWritten);
    });
    return false;
}

bool CVCServer::_ShouldStop() const
{
    return m_pWaitingCapture && m_pWaitingCapture->running.load() == 0;
}

// No bound on a silent client: the one at the other end may be waiting for
// a finger. The wait ends when the capture is told to stop, or when the
// channel is gone: a read that fails without waiting out its time-out, more
// than VC_MAX_IDLE_READS times in a row, closes this instance's channel.
uint32_t CVCServer::_ReadFirstChunk(CMyByteArray& chunk)
{
    using Clock = std::chrono::steady_clock;
    chunk.SetSize(VC_CHUNK_BUFFER_SIZE);
    uint32_t nBrokenReads = 0;
    for (;;) {
        if (_ShouldStop())
            return VC_READ_STOPPED;
        ULONG nRead = 0;
        const Clock::time_point tStart = Clock::now();
        if (m_pfnRead(m_hChannel, VC_READ_TIMEOUT, reinterpret_cast<PCHAR>(chunk.GetData()),
                      VC_CHUNK_BUFFER_SIZE, &nRead)) {
            chunk.SetSize(std::min<uint32_t>(nRead, VC_CHUNK_BUFFER_SIZE));
            return 0;
        }
        const bool bWaited = Clock::now() - tStart >= std::chrono::milliseconds(VC_READ_TIMEOUT / 2);
        nBrokenReads = bWaited ? 0 : nBrokenReads + 1;
        if (nBrokenReads > VC_MAX_IDLE_READS) {
            const DWORD nError = GetLastError();
            LogWarningLine([nError] {
                return W("CVCServer::ReadVCData(): the channel is gone, WTSVirtualChannelRead Error: ") +
                       Decimal(nError);
            });
            DestroyVC();
            return FS_EVENT_CHANNEL_ERROR;
        }
        Sleep(kFirstReadPauseMs);
    }
}

uint32_t CVCServer::_ReadFragments(CMyByteArray& envelope, uint32_t nAnnounced)
{
    CMyByteArray chunk(VC_CHUNK_BUFFER_SIZE);
    uint32_t nFragment = 1;
    uint32_t nIdle = 0;
    for (bool bMore = true; bMore;) {
        ++nFragment;
        if (!m_pfnRead)
            return FS_EVENT_CHANNEL_ERROR;
        ULONG nRead = 0;
        if (!m_pfnRead(m_hChannel, VC_READ_TIMEOUT, reinterpret_cast<PCHAR>(chunk.GetData()),
                       VC_CHUNK_BUFFER_SIZE, &nRead)) {
            const DWORD nError = GetLastError();
            LogWarningLine([nError] { return W("CVCServer::ReadVCData(): WTSVirtualChannelRead Error: ") + Decimal(nError); });
            if (++nIdle > VC_MAX_IDLE_READS) {
                LogWarningLine([nIdle] {
                    return W("CVCServer::ReadVCData(): ending pending read operation after ") +
                           Decimal(nIdle) + W(" idle WTSVirtualChannelRead() commands");
                });
                break;
            }
            Sleep(kFragmentPauseMs);
            continue;
        }
        if (nRead < kPduHeader || nRead > VC_CHUNK_BUFFER_SIZE) {
            LogErrorLine([nRead] { return W("CVCServer::ReadVCData(): a chunk of ") + Decimal(nRead) + W(" bytes has no header"); });
            return FS_EVENT_CHANNEL_ERROR;
        }
        if (nRead != VC_CHUNK_BUFFER_SIZE || (LoadLE32(chunk.GetData() + 4) & CHANNEL_FLAG_LAST)) {
            LogDebugLine([] { return W("Last fragment"); });
            bMore = false;
        }
        LogDebugLine([&] {
            return FormatZeroPadded(nFragment, 2) + W(". Fragment from VCServer received. Length: ") +
                   Decimal(nRead) + W(" bytes.");
        });
        const uint32_t nPosition = envelope.GetSize();
        const uint32_t nData = nRead - kPduHeader;
        // Growth stops at what the first chunk announced.
        if (nData > nAnnounced - nPosition) {
            LogErrorLine([&] {
                return W("CVCServer::ReadVCData(): fragments exceed the announced ") +
                       Decimal(nAnnounced) + W(" bytes");
            });
            return FS_EVENT_SIZE_MISMATCH;
        }
        envelope.SetSize(nPosition + nData);
        LogDebugLine([&] { return W("Byte Counter at Position: ") + Decimal(nPosition) + W(" bytes."); });
        // A chunk of its header alone adds nothing (and an empty array has no block).
        if (nData)
            std::memcpy(envelope.GetData() + nPosition, chunk.GetData() + kPduHeader, nData);
        LogDebugLine([&] {
            return W("Receive Data Buffer size(without RDP Header): ") + Decimal(envelope.GetSize()) + W(" bytes.");
        });
    }
    LogDebugLine([] { return W("CVCServer::ReadVCData(): all chunks received"); });
    return 0;
}

uint32_t CVCServer::ReadVCData(FingerscannerImage* pImage)
{
    CCriticalSectionLock lock(m_csLock);
    if (!pImage || !m_pfnRead)
        return FS_EVENT_CHANNEL_ERROR;
    CMyByteArray chunk;
    if (const uint32_t nWait = _ReadFirstChunk(chunk))
        return nWait;
    if (chunk.GetSize() < kPduHeader) {
        LogErrorLine([&] { return W("CVCServer::ReadVCData(): a chunk of ") + Decimal(chunk.GetSize()) + W(" bytes has no header"); });
        return FS_EVENT_CHANNEL_ERROR;
    }
    const uint32_t nAnnounced = LoadLE32(chunk.GetData());
    const uint32_t nFlags = LoadLE32(chunk.GetData() + 4);
    const uint32_t nData = chunk.GetSize() - kPduHeader;
    CMyByteArray envelope(nData);
    if (nData)
        std::memcpy(envelope.GetData(), chunk.GetData() + kPduHeader, nData);
    if ((nFlags & CHANNEL_FLAG_FIRST) && (nFlags & CHANNEL_FLAG_LAST))
        return _Interpret(envelope, false, pImage);
    if (nFlags & CHANNEL_FLAG_LAST) {
        LogErrorLine([] { return W("unknown !!"); });
        return FS_EVENT_CHANNEL_ERROR;
    }
    if (nAnnounced > kMaxEnvelopeBytes || nAnnounced < nData) {
        LogErrorLine([&] {
            return W("CVCServer::ReadVCData(): refused an answer announced with ") + Decimal(nAnnounced) +
                   W(" bytes; at most ") + Decimal(kMaxEnvelopeBytes) + W(" can come");
        });
        ReadVCDirtyData();  // the rest of it
        return FS_EVENT_CHANNEL_ERROR;
    }
    LogDebugLine([] { return W("first fragment of an fragmented stream"); });
    LogDebugLine([&] {
        return FormatZeroPadded(1, 2) + W(". Fragment from VCServer received. Length: ") +
               Decimal(chunk.GetSize()) + W(" bytes.");
    });
    LogDebugLine([&] {
        return W("Receive Data Buffer size(without RDP Header): ") + Decimal(envelope.GetSize()) + W(" bytes.");
    });
    if (const uint32_t nCode = _ReadFragments(envelope, nAnnounced))
        return nCode;
    return _Interpret(envelope, true, pImage);
}

uint32_t CVCServer::_Interpret(const CMyByteArray& envelope, bool bFragmented, FingerscannerImage* pImage)
{
    if (envelope.GetSize() < 8)
        return FS_EVENT_CHANNEL_ERROR;
    const uint32_t nField = LoadLE32(envelope.GetData());
    const uint32_t nReal = envelope.GetSize() - 8;
    if (nField != nReal) {
        LogErrorLine([&] {
            return W("Receive Data Buffer expected size(") + Decimal(nField) +
                   W(" bytes) is not the real size(") + Decimal(nReal) + W(" bytes) !");
        });
        return FS_EVENT_SIZE_MISMATCH;
    }
    CVCData message;
    if (!message.Deserialize(envelope)) {
        if (bFragmented)
            LogErrorLine([] { return W("Error Deserialize"); });
        return FS_EVENT_CHANNEL_ERROR;
    }
    if (message.GetCallingProcessID() != m_nCallingProcessID) {
        LogErrorLine([] { return W("Received answer from VCClient is not for me !!!"); });
        return FS_EVENT_REMOTE_ABORTED;
    }
    if (message.GetCmd() == kImageEvent && pImage->pixels) {
        pImage->width = message.GetWidth();
        pImage->height = message.GetHeight();
        // The message holds width x height bytes, never more than the buffer.
        const uint32_t nBytes = std::min(message.GetData().GetSize(), CVCData::kMaxImageBytes);
        if (nBytes)
            std::memcpy(pImage->pixels, message.GetData().GetData(), nBytes);
    }
    return message.GetCmd();
}

uint32_t CVCServer::ReadVCDirtyData()
{
    CCriticalSectionLock lock(m_csLock);
    if (!m_pfnRead)
        return 0;
    CMyByteArray chunk(VC_CHUNK_BUFFER_SIZE);
    uint32_t nCount = 0;
    ULONG nRead = 0;
    while (nCount < kMaxDrainedChunks &&
           m_pfnRead(m_hChannel, VC_READ_TIMEOUT, reinterpret_cast<PCHAR>(chunk.GetData()),
                     VC_CHUNK_BUFFER_SIZE, &nRead)) {
        ++nCount;
        LogDebugLine([&] {
            return W("CVCServer::ReadVCDirtyData(): ") + Decimal(nCount) +
                   W(". DirtyData Fragment received. Size: ") + Decimal(nRead) + W(" bytes");
        });
        nRead = 0;
        Sleep(kDrainPauseMs);
    }
    return nCount;
}

// At debug level: a drain is routine, not a fault.
void CVCServer::CleanUpChannel()
{
    const uint32_t nDropped = ReadVCDirtyData();
    LogDebugLine([nDropped] {
        return W("CVCServer::CleanUpChannel(): ") + Decimal(nDropped) + W(" chunks dropped from the VC !");
    });
}

uint32_t CVCServer::GetImageFromRDPSensor(ExtractionThreadData* pRequest, FingerscannerImage* pImage)
{
    if (!WriteVCData(VC_CMD_GET_IMAGE)) {
        LogErrorLine([] { return W("CVCServer::GetImageFromRDPSensor(): Error calling WriteVCData()"); });
        return FS_EVENT_REMOTE_FAILED;
    }
    LogDebugLine([] { return W("CVCServer::GetImageFromRDPSensor(): Command send to VCClient: VC_CMD_GET_IMAGE"); });
    m_pWaitingCapture = pRequest;
    uint32_t nCode = 0;
    for (bool bDone = false; !bDone;) {
        nCode = ReadVCData(pImage);
        if (nCode == VC_READ_STOPPED)
            break;
        if (nCode < kFirstEvent || nCode > kLastEvent)
            continue;
        if (nCode >= kFirstResult)
            break;
        if (pRequest)
            pRequest->Deliver(nCode == 1025 ? uint32_t(FS_EVENT_REMOTE_CAPTURE) : nCode);
        // A channel that went away cannot bring the answer any more.
        bDone = nCode == FS_EVENT_REMOTE_ABORTED || nCode == FS_EVENT_REMOTE_BUSY || !IsOpen();
    }
    m_pWaitingCapture = nullptr;
    if (nCode == kImageEvent) {
        LogDebugLine([] { return W("CVCServer::GetImageFromRDPSensor(): Picture received"); });
        return 0;
    }
    if (nCode == VC_READ_STOPPED) {
        LogDebugLine([] { return W("CVCServer::GetImageFromRDPSensor(): the capture was stopped"); });
        return nCode;
    }
    LogErrorLine([nCode] { return W("CVCServer::GetImageFromRDPSensor(): Error: ") + Decimal(nCode); });
    return nCode;
}

void CVCServer::ReleaseRDPSensor()
{
    LogDebugLine([] { return W("CVCServer::ReleaseRDPSensor()"); });
    WriteVCData(VC_CMD_RELEASE);
    CleanUpChannel();
    DestroyVC();
}
