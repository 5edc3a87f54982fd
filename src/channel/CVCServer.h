// The session side of the Remote Desktop channel: sends one command to the
// add-in in the user's client and reads its answers, forwarding events to the
// capture's caller and reassembling the image from the channel's chunks.
// Short-lived and owned by one thread; every instance opens its own handle.
#pragma once
#include <cstdint>

#include "support/CCriticalSection.h"
#include "support/CMyByteArray.h"
#include "veskSensor.h"

struct ExtractionThreadData;

constexpr uint32_t VC_CHUNK_BUFFER_SIZE = 1608;  // CHANNEL_PDU_HEADER and 1600 data bytes
constexpr DWORD VC_READ_TIMEOUT = 100;
constexpr uint32_t VC_MAX_IDLE_READS = 100;
// Not a channel code: the capture was told to stop while its answer was awaited.
constexpr uint32_t VC_READ_STOPPED = 0xFFFFFFFFu;

class CVCServer {
public:
    typedef HANDLE(WINAPI* PfnOpen)(HANDLE, DWORD, LPSTR);
    typedef BOOL(WINAPI* PfnClose)(HANDLE);
    typedef BOOL(WINAPI* PfnWrite)(HANDLE, PCHAR, ULONG, PULONG);
    typedef BOOL(WINAPI* PfnRead)(HANDLE, ULONG, PCHAR, ULONG, PULONG);
    typedef FARPROC PfnQuery;  // resolved and required, never called

    // The channel functions of a transport other than WtsApi32.dll, for
    // tests and the fuzzer; the instance behaves the same on them.
    struct SChannelApi {
        PfnOpen pfnOpen;
        PfnClose pfnClose;
        PfnWrite pfnWrite;
        PfnRead pfnRead;
        PfnQuery pfnQuery;
    };

    explicit CVCServer(bool bNoCleanUp);
    CVCServer(const SChannelApi& api, bool bNoCleanUp);
    ~CVCServer();
    CVCServer(const CVCServer&) = delete;
    CVCServer& operator=(const CVCServer&) = delete;

    bool InitializeVC();
    void DestroyVC();
    bool WriteVCData(uint32_t nCommand);
    // One answer: its code, or FS_EVENT_CHANNEL_ERROR, FS_EVENT_REMOTE_ABORTED,
    // FS_EVENT_SIZE_MISMATCH, or VC_READ_STOPPED.
    uint32_t ReadVCData(FingerscannerImage* pImage);
    uint32_t ReadVCDirtyData();
    void CleanUpChannel();
    // One remote capture cycle: 0 when the image is in pImage.
    uint32_t GetImageFromRDPSensor(ExtractionThreadData* pRequest, FingerscannerImage* pImage);
    void ReleaseRDPSensor();

    bool IsOpen() const { return m_hChannel != nullptr; }

private:
    void _Clear();
    bool _Bind();
    // Waits for the first chunk of an answer into the buffer; see the .cpp.
    uint32_t _ReadFirstChunk(CMyByteArray& chunk);
    // The rest of a fragmented answer, appended to the envelope; 0 or a code.
    uint32_t _ReadFragments(CMyByteArray& envelope, uint32_t nAnnounced);
    uint32_t _Interpret(const CMyByteArray& envelope, bool bFragmented, FingerscannerImage* pImage);
    bool _ShouldStop() const;

    PfnOpen m_pfnOpen = nullptr;
    PfnClose m_pfnClose = nullptr;
    PfnWrite m_pfnWrite = nullptr;
    PfnRead m_pfnRead = nullptr;
    PfnQuery m_pfnQuery = nullptr;
    HMODULE m_hWtsApi = nullptr;
    HANDLE m_hChannel = nullptr;
    uint32_t m_nCallingProcessID = 0;
    CCriticalSection m_csLock;
    // The capture whose answer is awaited, so that a stop ends the wait.
    const ExtractionThreadData* m_pWaitingCapture = nullptr;
    const SChannelApi* m_pGivenApi = nullptr;  // null: WtsApi32.dll
};
