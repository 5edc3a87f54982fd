// The ATSC70 driver on its simulator: a scratch machine whose 32-bit system
// folder holds the simulator (the test program is, to pal, a 32-bit process
// on 64-bit Windows), the driver's log lines kept by the program, and the
// simulator's loads and unloads as it reports them.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "atsc70/Atsc70SimControl.h"
#include "common/LogHooks.h"
#include "common/TestMachine.h"
#include "drivers/Atsc70Sensor.h"
#include "image/CRawImg.h"

namespace atsc70test {

using testlog::Contains;
using testlog::Count;
using testlog::kDebug;
using testlog::kError;
using testlog::Lines;
// Every line logged since the last call, of one level (0: all levels).
inline Lines TakeLog(int level = 0) { return testlog::Take(level); }

// What the simulator reported since the last ResetLoadEvents.
struct LoadEvents {
    int loads;
    int unloads;
    uint32_t inFlightAtUnload;  // the most calls under way at an unload
};
LoadEvents TakeLoadEvents();

// Never white and never black, so that added columns and borders show.
inline uint8_t PicturePixel(uint32_t x, uint32_t y) { return uint8_t(1 + (x * 7 + y * 13) % 250); }

// The driver in the UPEK slot of the front end (null: the slot is empty),
// for the test that needs a capture record with a caller.
void SetUpekSlot(CSensor* pSensor);

class Atsc70Test : public testkit::MachineTest {
protected:
    Atsc70Test();
    ~Atsc70Test() override;

    // The folders the driver may choose on this machine.
    std::string SystemDir() const { return Path("system32"); }
    std::string SystemX86Dir() const { return Path("SysWOW64"); }
    // Installs a built simulator under a library name, as the loader finds
    // it (libNAME.so) and as its version is read (NAME.dll).
    static void Install(const std::string& sBuilt, const std::string& sFolder,
                        const std::string& sName = "ATSC70");
    // The path the driver builds for the library in the 32-bit system folder.
    static std::string DriverPath(int nFolder, const std::string& sFile);

    // The test's own reference: in-process control, and state that outlives
    // the driver's unloads. Without it the library unloads for real.
    void Link();
    void Unlink();
    CAtsc70SimLink& Sim() { return *m_pSim; }
    // Machine-wide control, for tests without a link.
    static void SetStored(const std::u16string& sName, DWORD nType, const testkit::Bytes& data)
    {
        testkit::SetValue(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\Simulator\\atsc70", sName, nType, data);
    }

    Atsc70Sensor m_driver;
    CRawImg m_image;
    std::unique_ptr<CAtsc70SimLink> m_pSim;
};

}  // namespace atsc70test
