#include "atsc70/Atsc70TestKit.h"

#include <filesystem>

#include "drivers/Drivers.h"
#include "pal/text/text.h"

namespace fs = std::filesystem;

namespace {

std::atomic<int> g_nLoads{0};
std::atomic<int> g_nUnloads{0};
std::atomic<uint32_t> g_nInFlightAtUnload{0};
std::atomic<CSensor*> g_pUpekSlot{nullptr};

}  // namespace

// The front end's singletons in this program: only the UPEK slot, and only
// when a test puts the ATSC70 driver there.
CVeskBitDevice* GetVeskBitSensor() { return nullptr; }
Authentec9Sensor* GetAuthentec9Sensor() { return nullptr; }
CSensor* GetUpekSensor() { return g_pUpekSlot.load(); }
std::vector<WString>& SensorLookupOrder()
{
    static std::vector<WString> order;
    return order;
}

// Found by the simulator through the program's exports as it loads.
extern "C" __attribute__((visibility("default"))) void Atsc70SimLoadEvent(uint32_t nEvent, uint32_t nInFlight)
{
    if (nEvent == kAtsc70SimLoaded) {
        ++g_nLoads;
        return;
    }
    ++g_nUnloads;
    uint32_t nSeen = g_nInFlightAtUnload.load();
    while (nInFlight > nSeen && !g_nInFlightAtUnload.compare_exchange_weak(nSeen, nInFlight)) {
    }
}

namespace atsc70test {

LoadEvents TakeLoadEvents()
{
    return {g_nLoads.exchange(0), g_nUnloads.exchange(0), g_nInFlightAtUnload.exchange(0)};
}

void SetUpekSlot(CSensor* pSensor) { g_pUpekSlot.store(pSensor); }

Atsc70Test::Atsc70Test()
{
    Install(VESK_ATSC70_SIM, SystemX86Dir());
    Link();
    Sim().Atsc70SimReset();
    Sim().Atsc70SimSetFingerDelay(0);
    TakeLog();
    TakeLoadEvents();
}

// Every test ends with the sensor and the library closed, every message
// released and nothing ended under a call.
Atsc70Test::~Atsc70Test()
{
    SetUpekSlot(nullptr);
    m_driver.CloseSensor();
    if (m_pSim) {
        const CAtsc70SimStats stats = Sim().Stats();
        EXPECT_EQ(stats.m_nMessagesLive, 0u) << "every message goes back";
        EXPECT_EQ(stats.m_nSensorOpen, 0u);
        EXPECT_EQ(stats.m_nInitialized, 0u);
        EXPECT_EQ(stats.m_nInFlightAtClose, 0u) << "ATClose came while a call was under way";
        Sim().Atsc70SimReset();
    }
    Unlink();
    EXPECT_EQ(TakeLoadEvents().inFlightAtUnload, 0u) << "unloaded while a call was under way";
}

void Atsc70Test::Install(const std::string& sBuilt, const std::string& sFolder, const std::string& sName)
{
    fs::create_directories(sFolder);
    for (const std::string& sFile : {"lib" + sName + ".so", sName + ".dll"}) {
        std::error_code ignored;
        fs::remove(sFolder + "/" + sFile, ignored);
        fs::create_symlink(sBuilt, sFolder + "/" + sFile);
    }
}

std::string Atsc70Test::DriverPath(int nFolder, const std::string& sFile)
{
    WCHAR szFolder[MAX_PATH + 1] = {};
    EXPECT_EQ(SHGetFolderPathW(nullptr, nFolder, nullptr, 0, szFolder), S_OK);
    std::string sPath = pal::ToUtf8(szFolder);
    if (sPath.empty() || sPath.back() != '\\')
        sPath += '\\';
    return sPath + sFile;
}

void Atsc70Test::Link()
{
    m_pSim = std::make_unique<CAtsc70SimLink>(pal::FromUtf8(DriverPath(0x29, "ATSC70.dll")));
    ASSERT_TRUE(m_pSim->IsLinked());
}

void Atsc70Test::Unlink() { m_pSim.reset(); }

}  // namespace atsc70test
