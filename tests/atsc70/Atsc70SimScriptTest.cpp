// The simulator's script entries: 16-bit message codes and statuses, spelled
// back the way they were meant.
#include <gtest/gtest.h>

#include "sim/atsc70/Atsc70Settings.h"

namespace {

namespace sim = vsim::atsc70;

TEST(Atsc70SimScript, EntriesAreMessageCodesOrSixteenBitStatuses)
{
    const struct {
        const char* text;
        bool valid;
        const char* canonical;  // when valid
    } cases[] = {
        {"17", true, "message:17"},
        {"message:0", true, "message:0"},
        {"MESSAGE:65535", true, "message:65535"},
        {"message:65536", false, nullptr},
        {"-1", false, nullptr},
        {"open:-3", true, "open:-3"},
        {"init:32767", true, "init:32767"},
        {"create:-32768", true, "create:-32768"},
        {"create:-32769", false, nullptr},
        {"end:40000", false, nullptr},
        {"grab:5", false, nullptr},
        {"name:", false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        sim::CScriptEntry entry;
        std::string why;
        ASSERT_EQ(sim::ParseScriptEntry(c.text, entry, why), c.valid) << why;
        if (c.valid)
            EXPECT_EQ(sim::FormatScriptEntry(entry), c.canonical);
        else
            EXPECT_NE(why.find(c.text), std::string::npos) << "the reason names the entry: " << why;
    }
}

TEST(Atsc70SimScript, FaultNamesRoundTrip)
{
    for (uint32_t nFault = 0; nFault < sim::kFaultCount; ++nFault) {
        uint32_t nParsed = sim::kFaultCount;
        EXPECT_TRUE(sim::ParseFault(sim::FaultName(nFault), nParsed));
        EXPECT_EQ(nParsed, nFault);
    }
    uint32_t nParsed = 0;
    EXPECT_FALSE(sim::ParseFault("huge", nParsed));
}

}  // namespace
