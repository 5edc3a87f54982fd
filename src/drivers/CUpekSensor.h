// Driver of the UPEK TCS3 area scanner, through BSAPI (bsapi.dll).
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "drivers/Bsapi.h"
#include "drivers/CSensor.h"
#include "support/CCriticalSection.h"

// The driver's own statuses; any other non-zero status is BSAPI's, unchanged.
constexpr int32_t UPEK_STATUS_NO_DEVICE = -5008;   // the list of USB scanners is empty
constexpr int32_t UPEK_STATUS_LOST_FOCUS = -6000;  // another process holds the scanner
// BSAPI handed back a record that cannot be true (a count, length or size
// beyond what its buffer can hold): refused unread.
constexpr int32_t UPEK_STATUS_BAD_RECORD = -6001;

class CUpekSensor : public CSensor {
public:
    // Initialises BSAPI; a failure is logged, the object is built anyway.
    CUpekSensor();
    // Terminates BSAPI; an open connection is left to it.
    ~CUpekSensor() override;
    CUpekSensor(const CUpekSensor&) = delete;
    CUpekSensor& operator=(const CUpekSensor&) = delete;

    int32_t CaptureImage(CRawImg* pImage) override;
    void CloseSensor() override;
    bool IsSensorAttached() override;

    // Opens the first scanner on USB and learns its generation.
    int32_t OpenSensor();

    // BSAPI's callback of every grab; the operation's context is null, so it
    // reaches the class-wide state only.
    static void WINAPI UpekCBF(const ABS_OPERATION* pOperation, uint32_t nMessage,
                               void* pMessageData);

private:
    int32_t _FirstDevice(std::string& sDsn);
    int32_t _Open(const std::string& sDsn);
    int32_t _ReadGeneration();
    int32_t _GrabFailed(ABS_STATUS nStatus);
    int32_t _Deliver(const ABS_IMAGE& grabbed, CRawImg* pImage);

    // Atomic: the capture thread reads them outside the lock while a stop,
    // a probe or BSAPI's own thread writes them.
    std::atomic<bool> m_bOpen{false};
    CCriticalSection m_lock;  // every BSAPI call but the grab
    std::atomic<int32_t> m_nDeviceType{0};  // generation 1-3; 0 until a version falls in a range

    static std::atomic<ABS_CONNECTION> m_hConnection;
    static std::atomic<bool> m_bLostFocus;  // set by a suspend message
};
