// The exports' request checks and the life of one capture, seen by a caller.
#include <algorithm>

#include "CaptureTestKit.h"

namespace capturetest {
namespace {

class Exports : public CaptureTest {};

TEST_F(Exports, RequestChecks)
{
    FingerscannerData request{};
    request.valid = 7;
    EXPECT_EQ(InitFingerscannerData(&request, nullptr, 0, 1, 0, 0, 0, 0), 0u);
    EXPECT_EQ(request.valid, 7u);
    EXPECT_EQ(InitFingerscannerData(nullptr, &CRecorder::Callback, 0, 1, 0, 0, 0, 0), 0u);

    EXPECT_EQ(InitFingerscannerData(&request, &CRecorder::Callback, 9, 1, 2, 3, 4, 5), 1u);
    EXPECT_EQ(request.valid, 1u);
    EXPECT_EQ(request.detectionMode, 2u);
    EXPECT_EQ(request.ownBrandOption, 3u);
    EXPECT_EQ(request.priority, 4u);
    EXPECT_EQ(request.singleCapture, 5u);

    EXPECT_EQ(GetImageFromFingerscanner(nullptr), 3u);
    FingerscannerData refused = request;
    refused.valid = 2;
    EXPECT_EQ(GetImageFromFingerscanner(&refused), 3u);
    refused = request;
    refused.callback = nullptr;
    EXPECT_EQ(GetImageFromFingerscanner(&refused), 3u);
    EXPECT_TRUE(CRecorder::Instance().Events(1).empty());
    EXPECT_EQ(StopFingerscanner(), 1u);  // nothing runs
}

TEST_F(Exports, NoScannerAnswersOnTheCallersThreadAndNothingFollows)
{
    VeskBitSimSetAttached(false);
    EXPECT_EQ(DetectFingerscanner(0), FS_TYPE_NONE);
    EXPECT_EQ(Start(11, false), 1u);
    const auto events = CRecorder::Instance().Events(11);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, uint32_t(FS_EVENT_NO_SENSOR));
    EXPECT_EQ(events[0].threadId, GetCurrentThreadId());
    Sleep(100);
    EXPECT_EQ(CRecorder::Instance().Events(11).size(), 1u);
    EXPECT_EQ(CurrentlyUsedFingerscanner(), FS_TYPE_NONE);
}

TEST_F(Exports, SingleCaptureDeliversOneImageThenEnds)
{
    EXPECT_EQ(CurrentlyUsedFingerscanner(), FS_TYPE_NONE);
    EXPECT_EQ(DetectFingerscanner(0), FS_TYPE_VESKBIT);
    ASSERT_EQ(Start(12, true), 0u);
    EXPECT_EQ(CurrentlyUsedFingerscanner(), FS_TYPE_VESKBIT);
    EXPECT_EQ(DetectFingerscanner(0), FS_TYPE_VESKBIT);  // answered from the capture
    ASSERT_TRUE(CRecorder::Instance().WaitFor(12, FS_EVENT_CAPTURE_ENDED));
    EXPECT_EQ(CRecorder::Instance().Codes(12),
              (std::vector<uint32_t>{FS_EVENT_READY_VESKBIT, FS_EVENT_IMAGE, FS_EVENT_CAPTURE_ENDED}));
    EXPECT_EQ(CRecorder::Instance().Events(12)[1].width, 240u);
    EXPECT_NE(CRecorder::Instance().Events(12)[0].threadId, GetCurrentThreadId());
    for (int i = 0; i < 100 && CurrentlyUsedFingerscanner() != FS_TYPE_NONE; ++i)
        Sleep(10);
    EXPECT_EQ(CurrentlyUsedFingerscanner(), FS_TYPE_NONE);
}

TEST_F(Exports, StopDuringABlockingCaptureEndsIt)
{
    VeskBitSimSetFingerDelay(60000);
    ASSERT_EQ(Start(13, false), 0u);
    WaitUntilPolled();
    EXPECT_EQ(StopFingerscanner(), 1u);
    ASSERT_TRUE(CRecorder::Instance().WaitFor(13, FS_EVENT_CAPTURE_ENDED, 2000));
    const auto codes = CRecorder::Instance().Codes(13);
    EXPECT_EQ(codes.back(), uint32_t(FS_EVENT_CAPTURE_ENDED));
    EXPECT_EQ(std::count(codes.begin(), codes.end(), uint32_t(FS_EVENT_IMAGE)), 0);
}

}  // namespace
}  // namespace capturetest
