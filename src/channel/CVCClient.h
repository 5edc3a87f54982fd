// The client side of the Remote Desktop channel: the add-in that the user's
// Remote Desktop client loads from this same library. It answers the session
// side's commands by capturing on this machine's scanner and sending every
// event and the image back. One instance per loaded library.
#pragma once
#include <atomic>
#include <cstdint>

#include "support/CCriticalSection.h"
#include "support/CMyByteArray.h"
#include "support/Win32.h"
#include "veskSensor.h"

class CVCClient {
public:
    CVCClient() = default;
    virtual ~CVCClient();
    CVCClient(const CVCClient&) = delete;
    CVCClient& operator=(const CVCClient&) = delete;

    // Registers the channel with the client; false for a second call, a
    // null table or a protocol version other than 1.
    bool Initialize(PCHANNEL_ENTRY_POINTS pEntryPoints);
    // One message to the session side; one write is in flight at a time, a
    // message that meets a pending write is dropped.
    bool WriteVCData(uint32_t nCallingProcessID, uint32_t nCode, const FingerscannerImage* pImage);
    void Terminate();

    // The client's channel events, on its channel thread.
    void OnInitEvent(UINT nEvent);
    void OnOpenEvent(UINT nEvent, const void* pData, UINT32 nLength, UINT32 nFlags);

private:
    void _OnCommand(uint32_t nCmd, uint32_t nCallingProcessID);
    void _Answer(uint32_t nCallingProcessID, uint32_t nCode);

    PCHANNEL_ENTRY_POINTS m_pChFnPtr = nullptr;  // a LocalAlloc copy of the client's table
    bool m_bInitialized = false;
    LPVOID m_hInitHandle = nullptr;
    DWORD m_hOpenHandle = 0;
    CMyByteArray m_cWriteBuffer;  // read by the client until the write completes
    std::atomic<bool> m_bWritePending{false};
    bool m_bSensorRunning = false;
    uint32_t m_nCallingProcessID = 0;
    // Makes the pending check, the buffer fill and the write one step for the
    // channel thread and the capture thread, which both write.
    CCriticalSection m_csWrite;
};

// The library's one instance (defined with its process-wide objects).
CVCClient& TheVCClient();

VOID VCAPITYPE VCInitEventProc(LPVOID pInitHandle, UINT nEvent, LPVOID pData, UINT nDataLength);
VOID VCAPITYPE VCOpenEventProc(DWORD nOpenHandle, UINT nEvent, LPVOID pData, UINT32 nDataLength,
                               UINT32 nTotalLength, UINT32 nDataFlags);
uint32_t VESK_CALLBACK SensorCallback(uintptr_t nFirst, uint32_t nCode, uintptr_t nData,
                                      uintptr_t nContext);

extern "C" BOOL VCAPITYPE VirtualChannelEntry(PCHANNEL_ENTRY_POINTS pEntryPoints);
