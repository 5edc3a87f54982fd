#include "SystemTestKit.h"

namespace {

using DebugOutputTest = systest::CMachineTest;

TEST_F(DebugOutputTest, ReachesStandardErrorOnlyWhenAsked)
{
    ::testing::internal::CaptureStderr();
    OutputDebugStringW(u"dropped\n");
    pal::SetSetting("VESK_DEBUG_OUTPUT", "1");
    OutputDebugStringW(u"caf\u00e9 line");
    OutputDebugStringW(nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "caf\xc3\xa9 line\n");
}

}  // namespace
