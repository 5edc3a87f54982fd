// The simulated BSAPI library through its nine functions, as the UPEK driver
// relies on them: the device list, the version property, a grab that blocks
// until a finger, a cancel, a close, an unplug or another process taking
// the scanner, messages from the library's own thread, scripts and the
// broken records it can be told to hand out.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "common/TestMachine.h"
#include "drivers/Bsapi.h"
#include "sim/bsapi/BsapiSettings.h"
#include "sim/bsapi/BsapiSimControl.h"
#include "sim/common/RidgeGenerator.h"

namespace {

using namespace std::chrono_literals;
using Pixels = std::vector<uint8_t>;
namespace sim = vsim::bsapi;

// The machine-wide values by their literal names, so that a wrong name in
// the simulator shows.
void SetSim(const char16_t* name, DWORD type, const testkit::Bytes& data)
{
    testkit::SetValue(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\Simulator\\bsapi", name, type, data);
}

// What the library's thread told the operations' callback.
struct Message {
    uint32_t id;
    DWORD threadId;
};
std::mutex g_messageLock;
std::vector<Message> g_messages;

void WINAPI Callback(const ABS_OPERATION*, uint32_t message, void*)
{
    std::lock_guard<std::mutex> guard(g_messageLock);
    g_messages.push_back({message, GetCurrentThreadId()});
}

std::vector<Message> TakeMessages()
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
    static std::vector<std::string> List(const char* filter = "usb")
    {
        ABS_DEVICE_LIST* list = nullptr;
        std::vector<std::string> dsns;
        if (ABSEnumerateDevices(filter, &list) != 0)
            return dsns;
        for (uint32_t i = 0; i < list->NumDevices; ++i)
            dsns.push_back(reinterpret_cast<const char*>(list) + 4 + i * ABS_DEVICE_LIST_ITEM_SIZE);
        EXPECT_EQ(ABSFree(list), 0);
        return dsns;
    }
    ABS_CONNECTION Open(const char* dsn = "usb,#1")
    {
        ABS_CONNECTION connection = 0;
        EXPECT_EQ(ABSOpen(dsn, &connection), 0);
        return connection;
    }
    // One grab with the driver's arguments; the pixels, top row first.
    ABS_STATUS Grab(ABS_CONNECTION connection, Pixels* pixels = nullptr, uint32_t* size = nullptr)
    {
        ABS_OPERATION operation = {0, nullptr, &Callback, 0, 0};
        const ABS_GRAB_FORMAT format = {5, 18};
        ABS_IMAGE* image = nullptr;
        void* second = nullptr;
        const ABS_STATUS status = ABSRawGrab(connection, &operation, 1, &format, &image, &second, 0);
        EXPECT_EQ(status != 0, image == nullptr);
        EXPECT_EQ(status != 0, second == nullptr);
        if (image) {
            const uint8_t* data = reinterpret_cast<const uint8_t*>(image) + 20;
            if (size)
                size[0] = image->Width, size[1] = image->Height;
            if (pixels)
                pixels->assign(data, data + size_t(image->Width) * image->Height);
            EXPECT_EQ(ABSFree(image), 0);
            EXPECT_EQ(ABSFree(second), 0);
        }
        return status;
    }
    // A grab on another thread, waiting for a finger that does not come.
    std::future<ABS_STATUS> GrabWaiting(ABS_CONNECTION connection)
    {
        BsapiSimSetFingerDelay(kBsapiSimFingerNever);
        auto grab = std::async(std::launch::async, [this, connection] { return Grab(connection); });
        for (int i = 0; i < 500 && BsapiSimStats().m_nPendingGrabs == 0; ++i)
            Sleep(10);
        EXPECT_EQ(BsapiSimStats().m_nPendingGrabs, 1u);
        return grab;
    }
};

TEST_F(BsapiTest, TheListFollowsTheSettingsAndOnlyListedScannersOpen)
{
    const struct {
        const char* name;
        int stored;     // -1: no value, -2: a string
        int inProcess;  // -1: not set
        const char* filter;
        std::vector<std::string> dsns;
    } cases[] = {
        {"nothing stored", -1, -1, "usb", {}},
        {"stored 0", 0, -1, "usb", {}},
        {"stored 3", 3, -1, "usb", {"usb,#1", "usb,#2", "usb,#3"}},
        {"stored as a string", -2, -1, "usb", {}},
        {"in process wins", 0, 2, "usb", {"usb,#1", "usb,#2"}},
        {"filter in capitals", 1, -1, "USB", {"usb,#1"}},
        {"another bus", 1, -1, "serial", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BsapiSimReset();
        if (c.stored >= 0)
            SetSim(u"Devices", REG_DWORD, testkit::Dword(c.stored));
        else if (c.stored == -2)
            SetSim(u"Devices", REG_SZ, testkit::Sz(u"0"));
        if (c.inProcess >= 0)
            BsapiSimSetDevices(c.inProcess);
        EXPECT_EQ(List(c.filter), c.dsns);
    }
    BsapiSimSetDevices(2);
    ABS_CONNECTION connection = 0;
    EXPECT_EQ(ABSOpen("usb,#3", &connection), sim::kStatusNoDevice);
    EXPECT_EQ(connection, 0u);
    const ABS_CONNECTION first = Open("usb,#2");
    const ABS_CONNECTION second = Open("usb,#2");
    EXPECT_NE(first, 0u);
    EXPECT_NE(first, second);
    EXPECT_EQ(BsapiSimStats().m_nOpenConnections, 2u);
    EXPECT_EQ(ABSClose(first), 0);
    EXPECT_EQ(ABSClose(first), sim::kStatusInvalidHandle);
    EXPECT_EQ(ABSClose(second), 0);
}

TEST_F(BsapiTest, MisuseIsRefusedWithAStatus)
{
    const ABS_CONNECTION connection = Open();
    ABS_DATA* data = nullptr;
    EXPECT_EQ(ABSGetDeviceProperty(connection, 7, &data), sim::kStatusBadParameter);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(ABSGetDeviceProperty(connection + 1, 0, &data), sim::kStatusInvalidHandle);
    EXPECT_EQ(ABSCancelOperation(0, 0), sim::kStatusInvalidHandle);
    EXPECT_EQ(ABSCancelOperation(connection, 0), 0) << "nothing pending is no fault";
    ABS_OPERATION operation = {0, nullptr, &Callback, 0, 0};
    const ABS_GRAB_FORMAT unknown = {5, 12};
    ABS_IMAGE* image = nullptr;
    void* second = nullptr;
    EXPECT_EQ(ABSRawGrab(connection, &operation, 1, &unknown, &image, &second, 0), sim::kStatusBadParameter);
    EXPECT_NE(BsapiSimLastProblem().find("{5, 12}"), std::string::npos);
    int foreign = 0;
    EXPECT_EQ(ABSFree(&foreign), sim::kStatusBadParameter);
    EXPECT_EQ(ABSFree(nullptr), 0);
    EXPECT_EQ(ABSClose(connection), 0);

    // Without ABSInitialize nothing answers.
    ASSERT_EQ(ABSTerminate(), 0);
    EXPECT_EQ(ABSTerminate(), sim::kStatusNotInitialized);
    ABS_DEVICE_LIST* list = nullptr;
    EXPECT_EQ(ABSEnumerateDevices("usb", &list), sim::kStatusNotInitialized);
    EXPECT_EQ(ABSInitialize(), 0);
}

TEST_F(BsapiTest, RecordsHaveTheLayoutTheDriverReads)
{
    BsapiSimSetDeviceVersion(0x05010203);
    const ABS_CONNECTION connection = Open();
    ABS_DATA* data = nullptr;
    ASSERT_EQ(ABSGetDeviceProperty(connection, 0, &data), 0);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(data);
    EXPECT_EQ(Pixels(bytes, bytes + 8), (Pixels{4, 0, 0, 0, 0x03, 0x02, 0x01, 0x05}));
    EXPECT_EQ(ABSFree(data), 0);

    // Generated at the native size, top row first; each grab a new touch.
    BsapiSimSetFingerDelay(0);
    BsapiSimSetSeed(9);
    const struct {
        uint32_t width, height;
    } sizes[] = {{300, 400}, {256, 360}};
    for (const auto& c : sizes) {
        SCOPED_TRACE(c.width);
        BsapiSimSetNativeSize(c.width, c.height);
        Pixels first, next;
        uint32_t size[2] = {};
        ASSERT_EQ(Grab(connection, &first, size), 0);
        EXPECT_EQ(size[0], c.width);
        EXPECT_EQ(size[1], c.height);
        ASSERT_EQ(Grab(connection, &next), 0);
        EXPECT_NE(first, next);
        EXPECT_EQ(next, vsim::GenerateRidges(c.width, c.height, 9, BsapiSimStats().m_nImages - 1).GetPixels());
    }
    // A picture file at its own size, its top row first.
    BsapiSimSetImageFile(Write("small.pgm", "P5\n3 2\n255\n\x01\x02\x03\x04\x05\x06").c_str());
    Pixels pixels;
    uint32_t size[2] = {};
    ASSERT_EQ(Grab(connection, &pixels, size), 0);
    EXPECT_EQ(size[0], 3u);
    EXPECT_EQ(size[1], 2u);
    EXPECT_EQ(pixels, (Pixels{1, 2, 3, 4, 5, 6}));
    BsapiSimSetImageFile(Path("missing.pgm").c_str());
    EXPECT_EQ(Grab(connection), sim::kStatusBadParameter);
    EXPECT_NE(BsapiSimLastProblem().find("missing.pgm"), std::string::npos);
    EXPECT_EQ(ABSClose(connection), 0);
}

TEST_F(BsapiTest, AWaitingGrabEndsOnEachReason)
{
    const struct {
        const char* name;
        void (*end)(ABS_CONNECTION);
        ABS_STATUS status;
        std::vector<uint32_t> messages;
    } cases[] = {
        {"cancel", [](ABS_CONNECTION c) { EXPECT_EQ(ABSCancelOperation(c, 0), 0); }, -5012, {}},
        {"close", [](ABS_CONNECTION c) { EXPECT_EQ(ABSClose(c), 0); }, -5012, {}},
        {"unplug", [](ABS_CONNECTION) { BsapiSimSetDevices(0); }, sim::kStatusNoDevice, {}},
        {"suspend", [](ABS_CONNECTION) { BsapiSimSetSuspended(1); }, -5012, {ABS_MSG_PROCESS_SUSPEND}},
        {"suspend stored", [](ABS_CONNECTION) { SetSim(u"Suspended", REG_DWORD, testkit::Dword(1)); },
         -5012, {ABS_MSG_PROCESS_SUSPEND}},
        {"finger", [](ABS_CONNECTION) { BsapiSimSetFingerDelay(0); }, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BsapiSimReset();
        BsapiSimSetDevices(1);
        SetSim(u"Suspended", REG_DWORD, testkit::Dword(0));
        const ABS_CONNECTION connection = Open();
        std::future<ABS_STATUS> grab = GrabWaiting(connection);
        // Another operation's cancel is not this grab's.
        EXPECT_EQ(ABSCancelOperation(connection, 1), 0);
        EXPECT_EQ(grab.wait_for(50ms), std::future_status::timeout);
        c.end(connection);
        ASSERT_EQ(grab.wait_for(10s), std::future_status::ready);
        EXPECT_EQ(grab.get(), c.status);
        const std::vector<Message> messages = TakeMessages();
        std::vector<uint32_t> ids;
        for (const Message& m : messages) {
            ids.push_back(m.id);
            EXPECT_NE(m.threadId, GetCurrentThreadId()) << "from the library's own thread";
        }
        EXPECT_EQ(ids, c.messages);
        ABSClose(connection);
    }
}

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
    std::vector<uint32_t> ids;
    for (const Message& m : TakeMessages())
        ids.push_back(m.id);
    EXPECT_EQ(ids, (std::vector<uint32_t>{ABS_MSG_PROCESS_SUSPEND, ABS_MSG_PROCESS_SUSPEND,
                                          ABS_MSG_PROCESS_RESUME}));
    BsapiSimSetFingerDelay(0);
    EXPECT_EQ(Grab(connection), 0);
    EXPECT_EQ(BsapiSimSendMessage(0x12345678), 1u) << "to the last grab's callback";
    EXPECT_EQ(TakeMessages().size(), 1u);
    EXPECT_EQ(ABSClose(connection), 0);
}

TEST_F(BsapiTest, ScriptsAnswerTheirCallsInOrder)
{
    BsapiSimSetFingerDelay(kBsapiSimFingerNever);
    ASSERT_TRUE(BsapiSimScript({"open:-7", "-5012", "GRAB:0", "property:-9", "grab:123"}));
    ABS_CONNECTION connection = 0;
    EXPECT_EQ(ABSOpen("usb,#1", &connection), -7);
    connection = Open();
    EXPECT_EQ(Grab(connection), -5012);
    EXPECT_EQ(Grab(connection), 0) << "grab:0 delivers at once";
    ABS_DATA* data = nullptr;
    EXPECT_EQ(ABSGetDeviceProperty(connection, 0, &data), -9);
    EXPECT_EQ(Grab(connection), 123);
    const char* const bad[] = {"grab:-1", "grab:ten", "open:-2"};
    EXPECT_EQ(BsapiSimSetScript(bad, 3), 2u) << "answers are signed decimal";
    EXPECT_EQ(ABSClose(connection), 0);

    // A stored script is used up entry by entry, for every process to see.
    BsapiSimReset();
    BsapiSimSetDevices(1);
    SetSim(u"Script", REG_MULTI_SZ, testkit::MultiSz({u"close:-3", u"enumerate:-4"}));
    EXPECT_TRUE(List().empty());
    sim::CSettings stored = sim::ReadSettings();
    EXPECT_EQ(stored.m_vScript, std::vector<WString>{W("close:-3")});
    EXPECT_EQ(ABSClose(Open()), -3);
    EXPECT_TRUE(sim::ReadSettings().m_vScript.empty());
    BsapiSimReset();  // the connection the failed close left
}

// Each fault makes one record claim more than its buffer holds; the
// buffer itself is exactly as large as the true record.
TEST_F(BsapiTest, FaultsBreakOneRecordEach)
{
    BsapiSimSetFingerDelay(0);
    BsapiSimSetDevices(2);
    const struct {
        const char* name;
        uint32_t fault;
        uint32_t devices, propertyLength, width, height;
    } cases[] = {
        {"none", sim::kFaultNone, 2, 4, 300, 400},
        {"list-count", sim::kFaultListCount, 1002, 4, 300, 400},
        {"short-property", sim::kFaultShortProperty, 2, 2, 300, 400},
        {"huge-image", sim::kFaultHugeImage, 2, 4, 4096, 4096},
        {"empty-image", sim::kFaultEmptyImage, 2, 4, 300, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t fault = 99;
        ASSERT_TRUE(sim::ParseFault(c.name, fault));
        EXPECT_EQ(fault, c.fault);
        EXPECT_STREQ(sim::FaultName(fault), c.name);
        BsapiSimSetFault(c.fault);
        ABS_DEVICE_LIST* list = nullptr;
        ASSERT_EQ(ABSEnumerateDevices("usb", &list), 0);
        EXPECT_EQ(list->NumDevices, c.devices);
        ABSFree(list);
        const ABS_CONNECTION connection = Open();
        ABS_DATA* data = nullptr;
        ASSERT_EQ(ABSGetDeviceProperty(connection, 0, &data), 0);
        EXPECT_EQ(data->Length, c.propertyLength);
        ABSFree(data);
        ABS_OPERATION operation = {0, nullptr, &Callback, 0, 0};
        const ABS_GRAB_FORMAT format = {5, 39};
        ABS_IMAGE* image = nullptr;
        void* second = nullptr;
        ASSERT_EQ(ABSRawGrab(connection, &operation, 1, &format, &image, &second, 0), 0);
        EXPECT_EQ(image->Width, c.width);
        EXPECT_EQ(image->Height, c.height);
        ABSFree(image);
        ABSFree(second);
        EXPECT_EQ(ABSClose(connection), 0);
    }
    uint32_t fault = 0;
    EXPECT_FALSE(sim::ParseFault("List-Count", fault));
    SetSim(u"Fault", REG_SZ, testkit::Sz(u"short-property"));
    EXPECT_EQ(sim::ReadSettings().m_nFault, uint32_t(sim::kFaultShortProperty));
    SetSim(u"Fault", REG_SZ, testkit::Sz(u"everything"));
    EXPECT_EQ(sim::ReadSettings().m_nFault, uint32_t(sim::kFaultNone));
}

}  // namespace
