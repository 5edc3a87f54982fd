// The own-brand driver's open and close rules, through the simulator's
// record of the calls it received.
#include "CaptureTestKit.h"
#include "drivers/CVeskBitDevice.h"
#include "drivers/Drivers.h"
#include "image/CRawImg.h"

namespace capturetest {
namespace {

class VeskBitDriver : public CaptureTest {
protected:
    CVeskBitDevice& m_device = *GetVeskBitSensor();
    CRawImg m_image;
};

TEST_F(VeskBitDriver, NoScannerMeansNoOpen)
{
    VeskBitSimSetAttached(false);
    EXPECT_EQ(m_device.CaptureImage(&m_image), FS_STATUS_NO_SENSOR);
    EXPECT_EQ(VeskBitSimStats().m_nOpens, 0u);
    EXPECT_FALSE(m_device.IsSensorAttached());
}

TEST_F(VeskBitDriver, FailedOpenIsRetriedAndRejectionKeepsTheDeviceOpen)
{
    ASSERT_TRUE(VeskBitSimScript({"open:0x0123", "image:0x1000"}));
    m_device.SetPriorityAndOption(5, 77);
    EXPECT_EQ(m_device.CaptureImage(&m_image), 0x0123);
    EXPECT_EQ(m_device.CaptureImage(&m_image), 0x1000);
    EXPECT_EQ(m_device.CaptureImage(&m_image), 0);
    const CVeskBitSimStats stats = VeskBitSimStats();
    EXPECT_EQ(stats.m_nOpens, 2u);  // the failed one, then one that stays open
    EXPECT_EQ(stats.m_nLastPriority, 0u);
    EXPECT_EQ(stats.m_nLastOption, 77u);
    EXPECT_EQ(stats.m_nLastWidth, 240u);
    EXPECT_EQ(stats.m_nLastHeight, 368u);
    EXPECT_EQ(m_image.GetWidth(), 240u);
    EXPECT_EQ(m_image.GetHeight(), 368u);
    m_device.CloseSensor();
    m_device.CloseSensor();  // harmless when closed
    EXPECT_EQ(VeskBitSimStats().m_nOpenHandles, 0u);
    EXPECT_EQ(VeskBitSimStats().m_nCloses, 1u);
}

TEST_F(VeskBitDriver, BrokenOffClosesTheDeviceBeforeReturning)
{
    ASSERT_TRUE(VeskBitSimScript({"image:0x8020"}));
    EXPECT_EQ(m_device.CaptureImage(&m_image), -32736);
    EXPECT_EQ(VeskBitSimStats().m_nOpenHandles, 0u);
}

TEST_F(VeskBitDriver, UnhandledOpenStatusIsLoggedAndTheCaptureGoesOn)
{
    ASSERT_TRUE(VeskBitSimScript({"open:0x7FFF"}));
    ASSERT_EQ(Start(60, true), 0u);
    ASSERT_TRUE(CRecorder::Instance().WaitFor(60, FS_EVENT_CAPTURE_ENDED));
    EXPECT_EQ(CRecorder::Instance().Codes(60),
              (std::vector<uint32_t>{FS_EVENT_READY_VESKBIT, FS_EVENT_READY_VESKBIT, FS_EVENT_IMAGE,
                                     FS_EVENT_CAPTURE_ENDED}));
}

}  // namespace
}  // namespace capturetest
