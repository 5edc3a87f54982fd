// The simulated BSAPI library where the UPEK driver's tests and the
// administrator's tool rely on it beyond what those tests show: the device
// list and the script as stored, and the suspend and resume messages.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "common/TestMachine.h"
#include "drivers/Bsapi.h"
#include "sim/bsapi/BsapiSettings.h"
#include "sim/bsapi/BsapiSimControl.h"

namespace {

namespace sim = vsim::bsapi;

// The machine-wide values by their literal names, so that a wrong name in
// the simulator shows.
void SetSim(const char16_t* name, DWORD type, const testkit::Bytes& data)
{
    testkit::SetValue(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\Simulator\\bsapi", name, type, data);
}

// What the library's thread told the operations' callback.
std::mutex g_messageLock;
std::vector<uint32_t> g_messages;

void WINAPI Callback(const ABS_OPERATION*, uint32_t message, void*)
{
    std::lock_guard<std::mutex> guard(g_messageLock);
    g_messages.push_back(message);
}

std::vector<uint32_t> TakeMessages()
{
    std::lock_guard<std::mutex> guard(g_messageLock);
    return std::exchange(g_messages, {});
}

class BsapiTest : public testkit::MachineTest {
protected:
    BsapiTest()
    {
        BsapiSimReset();
        BsapiSimSetDevices(1);
        ABSInitialize();
        TakeMessages();
    }
    ~BsapiTest() override
    {
        EXPECT_EQ(BsapiSimStats().m_nBuffersLive, 0u);
        ABSTerminate();
        BsapiSimReset();
    }

    // DSNs of the "usb" list, or nothing when the call fails.
    static std::vector<std::string> List()
    {
        ABS_DEVICE_LIST* list = nullptr;
        std::vector<std::string> dsns;
        if (ABSEnumerateDevices("usb", &list) != 0)
            return dsns;
        for (uint32_t i = 0; i < list->NumDevices; ++i)
            dsns.push_back(reinterpret_cast<const char*>(list) + 4 + i * ABS_DEVICE_LIST_ITEM_SIZE);
        EXPECT_EQ(ABSFree(list), 0);
        return dsns;
    }
    static ABS_CONNECTION Open()
    {
        ABS_CONNECTION connection = 0;
        EXPECT_EQ(ABSOpen("usb,#1", &connection), 0);
        return connection;
    }
    // One grab with the driver's arguments.
    ABS_STATUS Grab(ABS_CONNECTION connection)
    {
        ABS_OPERATION operation = {0, nullptr, &Callback, 0, 0};
        const ABS_GRAB_FORMAT format = {5, 18};
        ABS_IMAGE* image = nullptr;
        void* second = nullptr;
        const ABS_STATUS status = ABSRawGrab(connection, &operation, 1, &format, &image, &second, 0);
        EXPECT_EQ(status != 0, image == nullptr);
        EXPECT_EQ(status != 0, second == nullptr);
        if (image) {
            EXPECT_EQ(ABSFree(image), 0);
            EXPECT_EQ(ABSFree(second), 0);
        }
        return status;
    }
};

// A suspend ends every grab until the scanner comes back; the resume goes
// to the last grab's callback, once, and only after a suspend was told.
TEST_F(BsapiTest, ResumeFollowsATellingSuspendOnly)
{
    const ABS_CONNECTION connection = Open();
    BsapiSimSetSuspended(0);
    EXPECT_TRUE(TakeMessages().empty());
    BsapiSimSetSuspended(1);
    EXPECT_EQ(Grab(connection), -5012);
    EXPECT_EQ(Grab(connection), -5012);
    BsapiSimSetSuspended(0);
    BsapiSimSetSuspended(0);
    EXPECT_EQ(TakeMessages(),
              (std::vector<uint32_t>{ABS_MSG_PROCESS_SUSPEND, ABS_MSG_PROCESS_SUSPEND, ABS_MSG_PROCESS_RESUME}));
    BsapiSimSetFingerDelay(0);
    EXPECT_EQ(Grab(connection), 0);
    EXPECT_EQ(BsapiSimSendMessage(0x12345678), 1u) << "to the last grab's callback";
    EXPECT_EQ(TakeMessages().size(), 1u);
    EXPECT_EQ(ABSClose(connection), 0);
}

// A stored script (vesk-admin's) is used up entry by entry, for every
// process to see.
TEST_F(BsapiTest, AStoredScriptIsUsedUpInOrder)
{
    SetSim(u"Script", REG_MULTI_SZ, testkit::MultiSz({u"close:-3", u"enumerate:-4"}));
    EXPECT_TRUE(List().empty());
    sim::CSettings stored = sim::ReadSettings();
    EXPECT_EQ(stored.m_vScript, std::vector<WString>{W("close:-3")});
    EXPECT_EQ(ABSClose(Open()), -3);
    EXPECT_TRUE(sim::ReadSettings().m_vScript.empty());
    BsapiSimReset();  // the connection the failed close left
}

}  // namespace
