// The Remote Desktop client's add-in, driven through a scripted client: the
// entry, the channel events, and the captures its commands start on the
// simulated scanner (RemoteCaptureTest takes a whole image across processes).
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "CaptureTestKit.h"
#include "capture/ExtractionThreadData.h"
#include "channel/CVCClient.h"
#include "channel/CVCData.h"

CVCClient& TheVCClient()
{
    static CVCClient client;
    return client;
}

namespace capturetest {
namespace {

constexpr DWORD kOpenHandle = 7;

// What the scripted client saw; writes are completed only when a test says so.
struct SClient {
    std::mutex lock;
    std::condition_variable changed;
    CHANNEL_DEF definition{};
    int opens = 0;
    int closes = 0;
    UINT writeResult = CHANNEL_RC_OK;
    std::vector<CVCData> writes;
};
SClient g_client;

UINT VCAPITYPE Init(LPVOID* ppInit, PCHANNEL_DEF pDefinition, INT, ULONG, PCHANNEL_INIT_EVENT_FN)
{
    *ppInit = &g_client;
    pDefinition->options |= CHANNEL_OPTION_INITIALIZED;
    g_client.definition = *pDefinition;
    return CHANNEL_RC_OK;
}

UINT VCAPITYPE Open(LPVOID, LPDWORD pOpen, PCHAR, PCHANNEL_OPEN_EVENT_FN)
{
    ++g_client.opens;
    *pOpen = kOpenHandle;
    return CHANNEL_RC_OK;
}

UINT VCAPITYPE Close(DWORD)
{
    ++g_client.closes;
    return CHANNEL_RC_OK;
}

UINT VCAPITYPE Write(DWORD, LPVOID pData, ULONG nLength, LPVOID)
{
    CMyByteArray envelope(nLength);
    std::memcpy(envelope.GetData(), pData, nLength);
    CVCData message;
    EXPECT_TRUE(message.Deserialize(envelope));
    const std::lock_guard<std::mutex> guard(g_client.lock);
    if (g_client.writeResult == CHANNEL_RC_OK)
        g_client.writes.push_back(message);
    g_client.changed.notify_all();
    return g_client.writeResult;
}

class VCClient : public CaptureTest {
protected:
    VCClient()
    {
        g_client.opens = g_client.closes = 0;
        g_client.writes.clear();
        g_client.writeResult = CHANNEL_RC_OK;
    }
    ~VCClient() override
    {
        // The one add-in lives on: leave it idle for the next test.
        Send(VC_CMD_RELEASE, 1);
        VCInitEventProc(&g_client, CHANNEL_EVENT_TERMINATED, nullptr, 0);
        Complete();
    }

    CHANNEL_ENTRY_POINTS m_entry{sizeof(CHANNEL_ENTRY_POINTS), VIRTUAL_CHANNEL_VERSION_WIN2000, &Init,
                                 &Open, &Close, &Write};

    void Connect()
    {
        ASSERT_TRUE(VirtualChannelEntry(&m_entry));
        VCInitEventProc(&g_client, CHANNEL_EVENT_CONNECTED, nullptr, 0);
    }
    static void Send(uint32_t nCmd, uint32_t nProcess, UINT32 nFlags = CHANNEL_FLAG_ONLY)
    {
        CVCData message;
        message.SetCmd(nCmd);
        message.SetCallingProcessID(nProcess);
        CMyByteArray envelope;
        ASSERT_TRUE(message.Serialize(envelope));
        VCOpenEventProc(kOpenHandle, CHANNEL_EVENT_DATA_RECEIVED, envelope.GetData(), envelope.GetSize(),
                        envelope.GetSize(), nFlags);
    }
    static void Complete() { VCOpenEventProc(kOpenHandle, CHANNEL_EVENT_WRITE_COMPLETE, nullptr, 0, 0, 0); }
    // Waits for the n-th write; its code, or 0 when none came.
    static uint32_t Written(size_t n, int milliseconds = 3000)
    {
        std::unique_lock<std::mutex> lock(g_client.lock);
        g_client.changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                  [n] { return g_client.writes.size() >= n; });
        return g_client.writes.size() >= n ? g_client.writes[n - 1].GetCmd() : 0;
    }
    static CVCData Message(size_t n)
    {
        const std::lock_guard<std::mutex> guard(g_client.lock);
        return g_client.writes.at(n - 1);
    }
};

TEST_F(VCClient, EntryRegistersTheChannelOnce)
{
    CHANNEL_ENTRY_POINTS version2 = m_entry;
    version2.protocolVersion = 2;
    EXPECT_FALSE(VirtualChannelEntry(&version2));
    EXPECT_FALSE(VirtualChannelEntry(nullptr));
    ASSERT_TRUE(VirtualChannelEntry(&m_entry));
    EXPECT_STREQ(g_client.definition.name, "VESKTSC");
    EXPECT_EQ(g_client.definition.options, CHANNEL_OPTION_SHOW_PROTOCOL | CHANNEL_OPTION_INITIALIZED);
    EXPECT_FALSE(VirtualChannelEntry(&m_entry)) << "a second entry";

    VCInitEventProc(&g_client, CHANNEL_EVENT_V1_CONNECTED, nullptr, 0);
    EXPECT_EQ(g_client.opens, 0) << "an old server's channel stays closed";
    VCInitEventProc(&g_client, CHANNEL_EVENT_CONNECTED, nullptr, 0);
    EXPECT_EQ(g_client.opens, 1);
    VCInitEventProc(&g_client, CHANNEL_EVENT_TERMINATED, nullptr, 0);
    EXPECT_EQ(g_client.closes, 1);
    EXPECT_TRUE(VirtualChannelEntry(&m_entry)) << "registered again once terminated";
}

TEST_F(VCClient, CommandsWhileRunningAfterReleaseAndFromAnotherProcess)
{
    VeskBitSimSetFingerDelay(kVeskBitSimFingerNever);
    Connect();
    Send(VC_CMD_GET_IMAGE, 100);
    ASSERT_EQ(Written(1), uint32_t(FS_EVENT_READY_VESKBIT));
    Complete();
    Send(VC_CMD_GET_IMAGE, 100);
    EXPECT_EQ(Written(2), uint32_t(FS_EVENT_REMOTE_BUSY));
    Complete();
    Send(VC_CMD_RELEASE, 100);
    EXPECT_EQ(Written(3), uint32_t(FS_EVENT_CAPTURE_ENDED));
    Complete();
    Send(VC_CMD_GET_IMAGE, 100);
    EXPECT_EQ(Written(4), uint32_t(FS_EVENT_READY_VESKBIT)) << "released, so it starts again";
    Complete();
    // Another process's command stops the running capture and is served: the
    // capture that runs then is the other process's (its events may meet a
    // pending write and be dropped, so the capture itself is looked at).
    Send(VC_CMD_GET_IMAGE, 200);
    bool bServed = false;
    for (int i = 0; i < 1000 && !bServed; ++i, Sleep(10)) {
        Complete();
        const auto pRunning = CSensor::GetThreadData();
        bServed = pRunning && pRunning->context == 200;
    }
    EXPECT_TRUE(bServed);
}

TEST_F(VCClient, EventsAreTranslatedAndOneWriteIsInFlight)
{
    Connect();
    Send(VC_CMD_RELEASE, 300);  // sets the calling process
    const struct {
        uint32_t code;
        uint32_t sent;  // 0: nothing
    } cases[] = {
        {FS_EVENT_CAPTURE_INTERRUPTED, FS_EVENT_REMOTE_ABORTED}, {FS_EVENT_CAPTURE_ENDED, FS_EVENT_CAPTURE_ENDED},
        {FS_EVENT_READY_UPEK, FS_EVENT_READY_UPEK}, {FS_EVENT_NO_SENSOR, FS_EVENT_NO_SENSOR},
        {6000, 6000}, {1024, 0}, {6001, 0}, {FS_EVENT_IMAGE, 0},
    };
    size_t nWrites = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        SensorCallback(0, c.code, 0, 300);
        if (c.sent) {
            EXPECT_EQ(Written(++nWrites), c.sent);
            EXPECT_EQ(Message(nWrites).GetCallingProcessID(), 300u);
            Complete();
        } else {
            EXPECT_EQ(Written(nWrites + 1, 50), 0u);
        }
    }
    SensorCallback(0, FS_EVENT_CAPTURE_ENDED, 0, 300);
    SensorCallback(0, FS_EVENT_RETRY, 0, 300);  // meets the pending write
    EXPECT_EQ(Written(nWrites + 1), uint32_t(FS_EVENT_CAPTURE_ENDED));
    EXPECT_EQ(Written(nWrites + 2, 50), 0u);
    Complete();
    g_client.writeResult = CHANNEL_RC_NOT_OPEN;  // refused: nothing stays pending
    SensorCallback(0, FS_EVENT_RETRY, 0, 300);
    g_client.writeResult = CHANNEL_RC_OK;
    SensorCallback(0, FS_EVENT_RETRY, 0, 300);
    EXPECT_EQ(Written(nWrites + 2), uint32_t(FS_EVENT_RETRY));
}

TEST_F(VCClient, BadDataAndNoScanner)
{
    Connect();
    Send(VC_CMD_GET_IMAGE, 100, CHANNEL_FLAG_LAST);  // not the whole message
    const uint8_t garbage[64] = {60, 0, 0, 0, 1, 2, 3};
    VCOpenEventProc(kOpenHandle, CHANNEL_EVENT_DATA_RECEIVED, const_cast<uint8_t*>(garbage),
                    sizeof garbage, sizeof garbage, CHANNEL_FLAG_ONLY);
    EXPECT_EQ(Written(1, 300), 0u);
    EXPECT_EQ(CurrentlyUsedFingerscanner(), FS_TYPE_NONE);

    VeskBitSimSetAttached(false);
    Send(VC_CMD_GET_IMAGE, 100);
    EXPECT_EQ(Written(1), uint32_t(FS_EVENT_NO_SENSOR));
    EXPECT_EQ(Written(2, 100), 0u) << "the add-in's own 4012 meets the pending 4009";
}

}  // namespace
}  // namespace capturetest
