// Captures through the exports on the AuthenTec service driver: the announce
// and the image, the caller's priority reaching the client, and a capture
// whose probe failed at its start repeating its failing attempts, spaced,
// until it is stopped.
#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "AfssTestKit.h"
#include "drivers/CSensor.h"
#include "veskSensor.h"

namespace afsstest {
namespace {

class CEvents {
public:
    static uint32_t VESK_CALLBACK Callback(uintptr_t, uint32_t nCode, uintptr_t, uintptr_t nContext)
    {
        std::lock_guard<std::mutex> guard(Instance().m_lock);
        Instance().m_codes.push_back({nContext, nCode});
        Instance().m_changed.notify_all();
        return 0;
    }
    static CEvents& Instance()
    {
        static CEvents events;
        return events;
    }
    std::vector<uint32_t> Codes(uintptr_t nContext)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        std::vector<uint32_t> codes;
        for (const auto& entry : m_codes)
            if (entry.first == nContext)
                codes.push_back(entry.second);
        return codes;
    }
    bool WaitFor(uintptr_t nContext, uint32_t nCode)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_changed.wait_for(guard, std::chrono::seconds(10), [&] {
            return std::count(m_codes.begin(), m_codes.end(), std::make_pair(nContext, nCode)) > 0;
        });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::pair<uintptr_t, uint32_t>> m_codes;
};

class AuthentecCapture : public AuthentecTest {
protected:
    AuthentecCapture() { SetFrontEndDriver(true); }
    ~AuthentecCapture() override
    {
        StopFingerscanner();
        for (int i = 0; i < 500 && CurrentlyUsedFingerscanner() != FS_TYPE_NONE; ++i)
            Sleep(10);
        EndCapturesForUnload();  // no thread is left to close the driver
        SetFrontEndDriver(false);
    }

    static uint32_t Start(uintptr_t nContext, uint32_t nPriority, uint32_t nSingle)
    {
        FingerscannerData request;
        InitFingerscannerData(&request, &CEvents::Callback, 0, nContext, 0, 1, nPriority, nSingle);
        return GetImageFromFingerscanner(&request);
    }
};

TEST_F(AuthentecCapture, SingleCaptureAnnouncesAndDeliversOneImage)
{
    ASSERT_EQ(DetectFingerscanner(0), FS_TYPE_AUTHENTEC);
    ASSERT_EQ(Start(1, 2, 1), uint32_t(FS_START_OK));
    ASSERT_TRUE(CEvents::Instance().WaitFor(1, FS_EVENT_CAPTURE_ENDED));
    EXPECT_EQ(CEvents::Instance().Codes(1),
              (std::vector<uint32_t>{FS_EVENT_READY_AUTHENTEC, FS_EVENT_IMAGE, FS_EVENT_CAPTURE_ENDED}));
    EXPECT_EQ(Sim().Stats().m_nLastPriority, 100u);
    EXPECT_EQ(Sim().Stats().m_nLastFlags, 2u);
}

// The replacing start keeps the AuthenTec type without probing, but its own
// probe finds the service gone: it has no driver, and every attempt fails.
TEST_F(AuthentecCapture, WithoutADriverAttemptsRepeatSpacedUntilStopped)
{
    Sim().AfssSimSetFingerDelay(kAfssSimFingerNever);
    ASSERT_EQ(Start(1, 0, 0), uint32_t(FS_START_OK));
    ASSERT_EQ(Sim().AfssSimWaitForRequest(5000), 1u);
    SetService(kServiceAbsent);
    ASSERT_EQ(Start(2, 0, 0), uint32_t(FS_START_OK));
    logcapture::Take();
    Sleep(1000);
    const std::vector<std::string> errors = logcapture::Take().errors;
    const auto nAttempts =
        std::count(errors.begin(), errors.end(), "Unhandled Message from Authentec Sensor. Message Code: 4003");
    EXPECT_GE(nAttempts, 3) << "repeated";
    EXPECT_LE(nAttempts, 30) << "spaced, not spinning";
    EXPECT_EQ(CurrentlyUsedFingerscanner(), FS_TYPE_AUTHENTEC);

    // A replacing start ends it too (it is detached: no further event), then a stop.
    ASSERT_EQ(Start(3, 0, 0), uint32_t(FS_START_OK));
    const std::vector<uint32_t> codes = CEvents::Instance().Codes(2);
    EXPECT_GE(std::count(codes.begin(), codes.end(), uint32_t(FS_EVENT_READY_AUTHENTEC)), nAttempts)
        << "each attempt announced";
    EXPECT_EQ(std::count(codes.begin(), codes.end(), uint32_t(FS_EVENT_NO_SENSOR)), 0);
    StopFingerscanner();
    ASSERT_TRUE(CEvents::Instance().WaitFor(3, FS_EVENT_CAPTURE_ENDED));
    Sleep(100);
    logcapture::Take();
    Sleep(300);
    EXPECT_TRUE(logcapture::Take().errors.empty()) << "no attempt goes on anywhere";
    EXPECT_EQ(CEvents::Instance().Codes(2), codes);
}

}  // namespace
}  // namespace afsstest
