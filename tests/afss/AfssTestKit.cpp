#include "AfssTestKit.h"

#include <algorithm>
#include <filesystem>

#include "drivers/AuthentecServiceSensor.h"
#include "drivers/Drivers.h"
#include "pal/text/text.h"

namespace fs = std::filesystem;

// The front end's singletons in this program: the newer AuthenTec driver alone.
CVeskBitDevice* GetVeskBitSensor() { return nullptr; }
namespace {
std::unique_ptr<Authentec9Sensor> g_pFrontEndDriver;
}  // namespace
Authentec9Sensor* GetAuthentec9Sensor() { return g_pFrontEndDriver.get(); }
CSensor* GetUpekSensor() { return nullptr; }
std::vector<WString>& SensorLookupOrder()
{
    static std::vector<WString> order;
    return order;
}

namespace afsstest {

void SetFrontEndDriver(bool bMade) { g_pFrontEndDriver.reset(bMade ? new Authentec9Sensor : nullptr); }

bool Contains(const std::vector<std::string>& lines, const std::string& text)
{
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}

AuthentecTest::AuthentecTest()
{
    Install(VESK_AFSS_SIM);
    SetService(SERVICE_RUNNING);
    Link();
    Sim().AfssSimReset();
    Sim().AfssSimSetFingerDelay(0);
    logcapture::Take();
}

// Every test leaves the client shut down and the library's objects released.
AuthentecTest::~AuthentecTest()
{
    const CAfssSimStats stats = Sim().Stats();
    EXPECT_EQ(stats.m_nStarted, 0u) << "the client is left started";
    EXPECT_EQ(stats.m_nWaiting, 0u);
    Sim().AfssSimReset();
}

void AuthentecTest::Link()
{
    m_pSim = std::make_unique<CAfssSimLink>(pal::FromUtf8(VESK_AFSS_SIM));
    ASSERT_TRUE(m_pSim->IsLinked());
}

void AuthentecTest::SetService(int nState)
{
    const std::u16string key = u"SYSTEM\\CurrentControlSet\\Services\\ATService";
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
    if (nState != kServiceAbsent)
        testkit::SetValue(HKEY_LOCAL_MACHINE, key, u"CurrentState", REG_DWORD, testkit::Dword(nState));
}

void AuthentecTest::Install(const std::string& sBuilt)
{
    const std::string sFolder = m_machine.SystemDir();
    fs::create_directories(sFolder);
    std::error_code ignored;
    fs::remove(sFolder + "/libAFSSClientLib.so", ignored);
    // The build folder is on the program's library path, so taking the file
    // away would not do: an empty one fails to load.
    if (sBuilt.empty())
        testkit::WriteFile(sFolder + "/libAFSSClientLib.so", "");
    else
        fs::create_symlink(sBuilt, sFolder + "/libAFSSClientLib.so");
}

std::string AuthentecTest::WritePicture(uint32_t nWidth, uint32_t nHeight) const
{
    std::string bytes = "P5\n" + std::to_string(nWidth) + " " + std::to_string(nHeight) + "\n255\n";
    for (uint32_t y = 0; y < nHeight; ++y)
        for (uint32_t x = 0; x < nWidth; ++x)
            bytes += char(PicturePixel(x, y));
    return Write("picture.pgm", bytes);
}

}  // namespace afsstest
