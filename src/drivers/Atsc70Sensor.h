// Driver of AuthenTec swipe scanners through the ATSC70 library, loaded at
// run time from the system folder in one accepted file version. No name of
// the lookup order selects it; it is built, constructed and destroyed with
// the library all the same.
#pragma once
#include <atomic>
#include <cstdint>

#include "drivers/Atsc70.h"
#include "drivers/CSensor.h"
#include "support/CCriticalSection.h"

// The driver's own statuses; others are message codes or the library's.
constexpr int32_t ATSC70_STATUS_OPEN_FAILED = 1;
constexpr int32_t ATSC70_STATUS_BEGIN_FAILED = -127;
// The library answered a size that cannot be true (0, beyond any scanner's
// image, or more pixels than its buffer holds): refused unread.
constexpr int32_t ATSC70_STATUS_BAD_RECORD = -128;

// The run-time binding of the ATSC70 library: the module and its 13 entry
// points, all or nothing.
class FnPtr {
public:
    FnPtr() = default;
    ~FnPtr() { Release(); }
    FnPtr(const FnPtr&) = delete;
    FnPtr& operator=(const FnPtr&) = delete;

    // Loads the library of this system's kind from the system folder, in the
    // one accepted version, and resolves every entry point.
    bool RTLInit();
    bool IsValid() const;
    // Clears the entry points, then frees the library.
    void Release();

    bool m_bLoaded = false;
    HMODULE m_hModule = nullptr;
#define AT_DECLARE_POINTER(name) PFN_##name m_pfn##name = nullptr;
    AT_ENTRY_POINTS(AT_DECLARE_POINTER)
#undef AT_DECLARE_POINTER
};

class Atsc70Sensor : public CSensor {
public:
    Atsc70Sensor() = default;  // loads nothing
    ~Atsc70Sensor() override;
    Atsc70Sensor(const Atsc70Sensor&) = delete;
    Atsc70Sensor& operator=(const Atsc70Sensor&) = delete;

    int32_t CaptureImage(CRawImg* pImage) override;
    void CloseSensor() override;
    bool IsSensorAttached() override;

    // Loads, initialises and opens the first sensor the library names.
    bool OpenSensor();
    // The first sensor's name; status 18 delivers one too (maybe empty).
    bool GetFirstSensorName(WString& sName);

private:
    bool _PinLibrary();
    void _UnpinLibrary();
    enum class ELeave { kLeft, kInsideCapture, kStillInside };
    ELeave _WaitUntilCapturesLeft();
    int32_t _RunMessageLoop(bool& bImage);
    void _HandleMessage(uint16_t nCode, bool& bImage);
    void _StopAcquiring();
    int32_t _Reconstruct(CRawImg& image);

    std::atomic<bool> m_bSensorOpen{false};
    std::atomic<bool> m_bAcquiring{true};
    std::atomic<bool> m_bLibInit{false};
    std::atomic<bool> m_bActive{false};
    CCriticalSection m_lock;  // the flags, the open and close sequences
    FnPtr m_fnPtr;

    // A close holds this from its first step to the unload, so that no open
    // slips in while it waits for a capture to leave the library. Taken
    // before m_lock, never after.
    CCriticalSection m_closing;
    // Captures calling the library outside the lock (under m_lock).
    uint32_t m_nInLibrary = 0;
    DWORD m_nPinningThread = 0;  // the capture's thread, the last to pin
};
