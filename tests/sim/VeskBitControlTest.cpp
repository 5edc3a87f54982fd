// How the simulator is driven: machine-wide registry values that another
// process can write (and see the script advance in), in-process settings
// that win over them until reset, seeds and image files.
#include <gtest/gtest.h>

#include <cstdlib>

#include "SimTestKit.h"
#include "drivers/VeskBit2.h"
#include "sim/veskbit2/VeskBitSimControl.h"

namespace simtest {
namespace {

using Texts = std::vector<std::u16string>;

// The simulator keeps its own copy of the platform layer, so the setting goes
// through the environment it reads.
struct CReadOnlyMachine {
    CReadOnlyMachine() { setenv("VESK_REGISTRY_READONLY", "HKLM", 1); }
    ~CReadOnlyMachine() { unsetenv("VESK_REGISTRY_READONLY"); }
};

class VeskBitControlTest : public SimTest {
protected:
    // The first answer of one attempt on a fresh handle.
    uint16_t FirstAnswer()
    {
        uint32_t cell = 0;
        const uint16_t open = VeskBitOpenWithPriorityEx(&cell, 0, 0, 240, 368, 1);
        if (open != 0)
            return open;
        const uint16_t status = VeskBitGetImage(&cell, m_block.data());
        VeskBitClose(&cell);
        return status;
    }

    Pixels Picture()
    {
        EXPECT_EQ(FirstAnswer(), kVeskBitImage);
        return Pixels(m_block.begin() + kVeskBitSkippedBytes, m_block.end());
    }

    std::vector<uint8_t> m_block = std::vector<uint8_t>(kVeskBitBlockSize, 0);
};

TEST_F(VeskBitControlTest, StoredScriptAdvancesInTheRegistry)
{
    SetSimDword(u"FingerDelayMs", 0xFFFFFFFF);
    SetSimMultiString(u"Script", {u"0x1000", u"open:0x0042", u"bogus:1", u"0"});
    uint32_t cell = 0;
    EXPECT_EQ(VeskBitOpenWithPriorityEx(&cell, 0, 0, 240, 368, 1), 0x42);
    EXPECT_EQ(SimMultiString(u"Script"), (Texts{u"0x1000", u"bogus:1", u"0"}));
    EXPECT_NE(VeskBitSimLastProblem().find("'bogus:1'"), std::string::npos);

    ASSERT_EQ(VeskBitOpenWithPriorityEx(&cell, 0, 0, 240, 368, 1), 0);
    EXPECT_EQ(VeskBitGetImage(&cell, m_block.data()), 0x1000);
    EXPECT_EQ(VeskBitGetImage(&cell, m_block.data()), 0);
    EXPECT_EQ(SimMultiString(u"Script"), (Texts{u"bogus:1"}));

    // Another process replaces the script between two answers.
    SetSimMultiString(u"Script", {u"0x8400", u"4003"});
    EXPECT_EQ(VeskBitGetImage(&cell, m_block.data()), 0x8400);
    EXPECT_EQ(VeskBitGetImage(&cell, m_block.data()), 4003);
    EXPECT_FALSE(SimMultiString(u"Script")) << "an exhausted script is removed";
    EXPECT_EQ(SimDword(u"Attached"), 0u) << "unplugged for every process";
}

// A process without write rights to the machine's settings (on Windows, one
// not run as administrator) still steps through the script.
TEST_F(VeskBitControlTest, ReadOnlyRegistryStillAdvancesTheScriptInProcess)
{
    SetSimMultiString(u"Script", {u"0x1000", u"0x8400", u"4003"});
    {
        const CReadOnlyMachine readOnly;
        EXPECT_EQ(FirstAnswer(), 0x1000);
        EXPECT_EQ(FirstAnswer(), 0x8400);
        EXPECT_EQ(FirstAnswer(), 4003);
        EXPECT_EQ(VeskBitDeviceAttached(), 0u);
    }
    EXPECT_EQ(SimMultiString(u"Script")->size(), 3u) << "the stored script is untouched";
    EXPECT_FALSE(SimDword(u"Attached"));
}

TEST_F(VeskBitControlTest, InProcessSettingsWinUntilReset)
{
    SetSimDword(u"FingerDelayMs", 0);
    SetSimDword(u"Seed", 5);
    SetSimMultiString(u"Script", {u"0x1000"});
    VeskBitSimSetFingerDelay(kVeskBitSimFingerNever);
    ASSERT_TRUE(VeskBitSimScript({}));
    EXPECT_EQ(FirstAnswer(), kVeskBitNoImageYet);
    VeskBitSimReset();
    EXPECT_EQ(FirstAnswer(), 0x1000);
    const Pixels stored = Picture();
    VeskBitSimSetSeed(5);
    EXPECT_EQ(Picture(), stored) << "the stored seed is the same finger";
    VeskBitSimSetSeed(6);
    EXPECT_NE(Picture(), stored);

    const char* const entries[] = {"0x8000", "open:0x10000", "0"};
    EXPECT_EQ(VeskBitSimSetScript(entries, 3), 2u) << "a malformed script changes nothing";
    EXPECT_EQ(FirstAnswer(), kVeskBitImage);
}

TEST_F(VeskBitControlTest, ServesImageFilesCentredAndBottomRowFirst)
{
    VeskBitSimSetFingerDelay(0);
    Pixels exact(240 * 368);
    for (size_t i = 0; i < exact.size(); ++i)
        exact[i] = static_cast<uint8_t>(i / 240);  // the row number shows the row order
    Pixels flipped;
    for (size_t row = 368; row-- > 0;)
        flipped.insert(flipped.end(), exact.begin() + row * 240, exact.begin() + (row + 1) * 240);
    const std::string pgm = WriteScratch("exact.pgm", Pgm(240, 368, 255, exact));
    SetSimString(u"ImageFile", std::u16string(pgm.begin(), pgm.end()));
    EXPECT_EQ(Picture(), flipped);

    CBmpParts small;
    small.m_nWidth = 2;
    small.m_nHeight = 2;
    small.m_vPixels = {10, 20, 30, 40};
    VeskBitSimSetImageFile(WriteScratch("small.bmp", Bmp(small)).c_str());
    const Pixels centred = Picture();
    EXPECT_EQ(centred[0], 255);
    // The picture's rows 183 and 184 are rows 184 and 183 from the bottom.
    EXPECT_EQ(centred[184 * 240 + 119], 10);
    EXPECT_EQ(centred[184 * 240 + 120], 20);
    EXPECT_EQ(centred[183 * 240 + 119], 30);
}

TEST_F(VeskBitControlTest, UnusableImageFilesEndTheCaptureWithAReason)
{
    VeskBitSimSetFingerDelay(0);
    const std::pair<std::string, std::string> files[] = {
        {m_machine.Path("absent.pgm"), "cannot be opened (Win32 error 2)"},
        {WriteScratch("zero.pgm", "P5 2 2 0\n\1\1\1\1"), "PGM: maxval 0 is outside 1-255"},
        {WriteScratch("wide.bmp", "BM" + std::string(60, '\xFF')), "BMP: "},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.first);
        VeskBitSimSetImageFile(file.first.c_str());
        EXPECT_EQ(FirstAnswer(), kVeskBitEnd);
        const std::string problem = VeskBitSimLastProblem();
        EXPECT_NE(problem.find("'" + file.first + "'"), std::string::npos) << problem;
        EXPECT_NE(problem.find(file.second), std::string::npos) << problem;
    }
    VeskBitSimSetImageFile(nullptr);
    EXPECT_EQ(FirstAnswer(), kVeskBitImage) << "generated pictures again";
}

}  // namespace
}  // namespace simtest
