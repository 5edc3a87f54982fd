// The capture front end in process: the real own-brand driver on the
// simulator, in the UPEK slot a scripted family or the real UPEK driver on
// the BSAPI simulator, and a recorder of the events a caller receives.
#pragma once
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "common/TestMachine.h"
#include "afss/AfssSimControl.h"
#include "bsapi/BsapiSimControl.h"
#include "drivers/CSensor.h"
#include "veskbit2/VeskBitSimControl.h"

namespace capturetest {

struct Event {
    uint32_t code;
    uintptr_t context;
    DWORD threadId;
    uint32_t width;  // of an image
};

// Collects events per context; the callback can be given to any number of
// captures at once.
class CRecorder {
public:
    static uint32_t VESK_CALLBACK Callback(uintptr_t first, uint32_t code, uintptr_t data,
                                           uintptr_t context);
    static CRecorder& Instance();

    void Clear();
    std::vector<Event> Events(uintptr_t context);
    std::vector<uint32_t> Codes(uintptr_t context);
    // Waits until `context` has received `code` (or the time is up).
    bool WaitFor(uintptr_t context, uint32_t code, int milliseconds = 5000);

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Event> m_events;
};

// A family whose presence the test sets (put in the UPEK slot); its captures
// deliver images.
class CScriptedSensor : public CSensor {
public:
    int32_t CaptureImage(CRawImg* pImage) override;
    void CloseSensor() override {}
    bool IsSensorAttached() override;

    void Reset(bool attached);

    std::atomic<bool> m_bAttached{false};
    std::atomic<int> m_nProbes{0};
};

CScriptedSensor& ScriptedUpek();
// The real UPEK driver of the test program (on the BSAPI simulator).
CSensor& RealUpek();
// Which of the two the UPEK slot holds; each test starts with the scripted one.
void UseRealUpek(bool bReal);

// The AuthenTec service client library beside the program, as the driver
// loads it, and the state of its service (absent unless a test runs it).
CAfssSimLink& AfssSim();
void SetAfssService(bool bRunning);

class CaptureTest : public ::testing::Test {
protected:
    CaptureTest();
    ~CaptureTest() override;

    // Starts through the exports' own path with the recorder as callback.
    uint32_t Start(uintptr_t context, bool single);
    // Stops and waits for the capture to be gone.
    void StopAndWait();
    // Waits until the own-brand scanner is open and polled for a finger.
    static void WaitUntilPolled();
    void SetOrder(const std::vector<std::u16string>& names);

    testkit::CScratchMachine m_machine;
};

}  // namespace capturetest
