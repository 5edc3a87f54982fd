// Loading the ATSC70 library: which file, which version, all entry points or
// none, and the full load-initialise-open-close-unload cycle of a probe.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>

#include "atsc70/Atsc70TestKit.h"
#include "pal/base/settings.h"
#include "pal/text/text.h"

namespace atsc70test {
namespace {

class Atsc70Loading : public Atsc70Test {
protected:
    // Checks one failing open, capture and probe, each repeating the whole load.
    void ExpectEveryOpenFails(const std::string& sErrorLine)
    {
        EXPECT_FALSE(m_driver.OpenSensor());
        EXPECT_EQ(m_driver.CaptureImage(&m_image), ATSC70_STATUS_OPEN_FAILED);
        EXPECT_FALSE(m_driver.IsSensorAttached());
        EXPECT_EQ(m_image.GetWidth(), 0u);
        const Lines errors = TakeLog(kError);
        if (sErrorLine.empty())
            EXPECT_TRUE(errors.empty()) << errors.front();
        else
            EXPECT_EQ(Count(errors, sErrorLine), 3u) << (errors.empty() ? "" : errors.front());
    }
};

TEST_F(Atsc70Loading, AProbeRunsTheWholeCycleAndLeavesTheLibraryUnloaded)
{
    Unlink();
    TakeLoadEvents();
    for (int nProbe = 1; nProbe <= 2; ++nProbe) {
        SCOPED_TRACE(nProbe);
        EXPECT_TRUE(m_driver.IsSensorAttached());
        const LoadEvents events = TakeLoadEvents();
        EXPECT_EQ(events.loads, 1);
        EXPECT_EQ(events.unloads, 1);
        const Lines expected = {
            "FnPtr::RTLInit(): nFolderType: 0x29",
            "FnPtr::RTLInit(): Dll for RTL: '" + DriverPath(0x29, "ATSC70.dll") + "'",
            "ATInit()",
            "ATGetNextSensorName()",
            "First AuthentecSensor visible name: ATSC70 #1",
            "ATOpenSensor()",
            "ATCloseSensor()",
            "ATClose()",
        };
        EXPECT_EQ(TakeLog(), expected);
    }
}

// Each way the library cannot be used fails every open, capture and probe
// with its line, each attempt repeating the whole load: only
// "07.07.00.00060" is taken (not a last group of 61, no version at all, no
// file), nor is a system folder the shell cannot hand out (longer than
// MAX_PATH); nothing is loaded then. A library without ATGetNextMessage is
// loaded, found incomplete and freed again, without a log line.
TEST_F(Atsc70Loading, EveryOpenFailsWhileTheLibraryCannotBeUsed)
{
    const std::string sNoVersion =
        "FnPtr::RTLInit(): CFsHelper::GetFileVersion(): for '" + DriverPath(0x29, "ATSC70.dll") + "' failed!";
    const struct {
        const char* name;
        std::function<void()> make;
        std::string line;
        int loads;
    } cases[] = {
        {"last group differs", [&] { Install(VESK_ATSC70_LASTGROUP_SIM, SystemX86Dir()); },
         "FnPtr::RTLInit(): expected FileVersion '07.07.00.00060' but I got: '07.07.00.00061'", 0},
        {"no version information",
         [&] {
             Install(VESK_ATSC70_SIM, SystemX86Dir());
             std::filesystem::remove(SystemX86Dir() + "/ATSC70.dll");
             Write("SysWOW64/ATSC70.dll", "MZ no version here");
         },
         sNoVersion, 0},
        {"no file", [&] { std::filesystem::remove_all(SystemX86Dir()); }, sNoVersion, 0},
        {"a folder the shell cannot name",
         [&] { pal::SetSetting("VESK_SYSTEMX86_DIR", Path(std::string(300, 'x'))); },
         "FnPtr::RTLInit(): Error: SHGetFolderPath() failure!", 0},
        {"no ATGetNextMessage",
         [&] {
             pal::ClearSetting("VESK_SYSTEMX86_DIR");
             Install(VESK_ATSC70_INCOMPLETE_SIM, SystemX86Dir());
         },
         "", 3},
    };
    Unlink();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.make();
        TakeLog();
        TakeLoadEvents();
        ExpectEveryOpenFails(c.line);
        const LoadEvents events = TakeLoadEvents();
        EXPECT_EQ(events.loads, c.loads) << "once for each attempt, or never";
        EXPECT_EQ(events.unloads, c.loads);
        m_driver.CloseSensor();
        EXPECT_TRUE(TakeLog().empty()) << "nothing to close";
    }
}

// A failed ATInit keeps the library loaded and is tried again; machine-wide
// control (the registry) reaches the library while nobody else holds it.
TEST_F(Atsc70Loading, AFailedInitKeepsTheLibraryForTheNextTry)
{
    Unlink();
    SetStored(u"Script", REG_MULTI_SZ, testkit::MultiSz({u"init:-3"}));
    TakeLoadEvents();
    EXPECT_FALSE(m_driver.OpenSensor());
    m_driver.CloseSensor();  // nothing is active yet
    LoadEvents events = TakeLoadEvents();
    EXPECT_EQ(events.loads, 1);
    EXPECT_EQ(events.unloads, 0);
    EXPECT_TRUE(m_driver.OpenSensor());
    events = TakeLoadEvents();
    EXPECT_EQ(events.loads, 0) << "the library stayed";
    EXPECT_EQ(events.unloads, 0);
    EXPECT_EQ(Count(TakeLog(kDebug), "ATInit()"), 2u);
    m_driver.CloseSensor();
    events = TakeLoadEvents();
    EXPECT_EQ(events.unloads, 1);
}

TEST_F(Atsc70Loading, CloseSensorOnANeverOpenedDriverDoesNothing)
{
    Unlink();
    TakeLoadEvents();
    {
        Atsc70Sensor fresh;
        fresh.CloseSensor();
        fresh.CloseSensor();
    }
    EXPECT_TRUE(TakeLog().empty());
    EXPECT_EQ(TakeLoadEvents().loads, 0);
    Link();
    const CAtsc70SimStats stats = Sim().Stats();
    EXPECT_EQ(stats.m_nSensorCloses + stats.m_nCloses + stats.m_nInits, 0u);
}

// A driver that goes (at unload) with its sensor open closes and frees it.
TEST_F(Atsc70Loading, TheDestructorClosesAndUnloads)
{
    {
        Atsc70Sensor driver;
        ASSERT_TRUE(driver.OpenSensor());
        EXPECT_EQ(Sim().Stats().m_nSensorOpen, 1u);
        TakeLog();
    }
    EXPECT_EQ(TakeLog(kDebug), (Lines{"ATCloseSensor()", "ATClose()"}));
    const CAtsc70SimStats stats = Sim().Stats();
    EXPECT_EQ(stats.m_nSensorOpen, 0u);
    EXPECT_EQ(stats.m_nInitialized, 0u);
}

// The folder and file follow the kind of system; the answers are computed
// once per process, so each kind is a process of its own. One row for each
// pair of answers the driver reads (64-bit system, WOW64); which systems give
// which pair is WinOS.SystemKinds'.
TEST_F(Atsc70Loading, TheFolderAndFileFollowTheKindOfSystem)
{
    const struct {
        const char* arch;
        const char* hidden;  // kernel32 functions the process lacks
        int folder;
        const char* file;
    } cases[] = {
        {"x86", "", 0x25, "ATSC70.dll"},
        {"x64", "", 0x29, "ATSC70.dll"},
        {"x64", "IsWow64Process", 0x25, "ATSC70_64.dll"},
    };
    Unlink();
    for (const std::string& sFolder : {SystemDir(), SystemX86Dir()})
        for (const char* pszName : {"ATSC70", "ATSC70_64"})
            Install(VESK_ATSC70_SIM, sFolder, pszName);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.arch) + " without '" + c.hidden + "'");
        const testkit::ProcessResult result = testkit::RunProcess(
            {testkit::SelfPath(), "--gtest_also_run_disabled_tests",
             "--gtest_filter=Atsc70Child.DISABLED_ProbeOnce"},
            {{"VESK_ARCH", c.arch}, {"VESK_KERNEL32_MISSING", c.hidden}, {"ATSC70_CHILD", "1"}});
        ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
        char szFolder[64];
        std::snprintf(szFolder, sizeof szFolder, "FnPtr::RTLInit(): nFolderType: 0x%x", c.folder);
        EXPECT_NE(result.out.find(std::string("line: ") + szFolder + "\n"), std::string::npos) << result.out;
        const std::string sPath = DriverPath(c.folder, c.file);
        EXPECT_NE(result.out.find("line: FnPtr::RTLInit(): Dll for RTL: '" + sPath + "'\n"),
                  std::string::npos)
            << result.out;
        EXPECT_NE(result.out.find("attached: 1\n"), std::string::npos) << result.out;
    }
}

// Run by the test above in a process of its own.
TEST(Atsc70Child, DISABLED_ProbeOnce)
{
    if (!std::getenv("ATSC70_CHILD"))
        GTEST_SKIP() << "only as a child of TheFolderAndFileFollowTheKindOfSystem";
    Atsc70Sensor driver;
    const bool bAttached = driver.IsSensorAttached();
    for (const std::string& sLine : TakeLog())
        std::cout << "line: " << sLine << "\n";
    std::cout << "attached: " << bAttached << "\n" << std::flush;
}

}  // namespace
}  // namespace atsc70test
