// The session side of the channel on a scripted transport: what each sequence
// of chunks from the client becomes, and what reaches the caller.
#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

#include "CaptureTestKit.h"
#include "capture/ExtractionThreadData.h"
#include "channel/CVCData.h"
#include "channel/CVCServer.h"
#include "support/LittleEndian.h"

namespace capturetest {
namespace {

using Bytes = std::vector<uint8_t>;

// The client's side of the channel: chunks to read (an empty one is a read
// that fails at once, as on a channel that is gone) and the commands written.
struct SScript {
    std::mutex lock;
    std::deque<Bytes> chunks;
    std::vector<uint32_t> commands;
} g_script;

HANDLE WINAPI Open(HANDLE, DWORD, LPSTR) { return reinterpret_cast<HANDLE>(1); }
BOOL WINAPI Close(HANDLE) { return TRUE; }

BOOL WINAPI Write(HANDLE, PCHAR pData, ULONG nLength, PULONG pWritten)
{
    CMyByteArray envelope(nLength);
    std::memcpy(envelope.GetData(), pData, nLength);
    CVCData message;
    EXPECT_TRUE(message.Deserialize(envelope));
    const std::lock_guard<std::mutex> guard(g_script.lock);
    g_script.commands.push_back(message.GetCmd());
    *pWritten = nLength;
    return TRUE;
}

// A silent client lets the time-out pass, as the platform does.
BOOL WINAPI Read(HANDLE, ULONG nTimeout, PCHAR pBuffer, ULONG nSize, PULONG pRead)
{
    std::unique_lock<std::mutex> guard(g_script.lock);
    if (g_script.chunks.empty()) {
        guard.unlock();
        Sleep(nTimeout);
        return FALSE;
    }
    const Bytes chunk = std::move(g_script.chunks.front());
    g_script.chunks.pop_front();
    guard.unlock();
    if (chunk.empty() || chunk.size() > nSize)
        return FALSE;
    std::memcpy(pBuffer, chunk.data(), chunk.size());
    *pRead = static_cast<ULONG>(chunk.size());
    return TRUE;
}

// Query is required but never called: any function stands in for it.
const CVCServer::SChannelApi kApi{&Open, &Close, &Write, &Read,
                                  reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&Close))};

CMyByteArray Envelope(uint32_t nCmd, uint32_t nProcess, uint32_t nWidth = 0, uint32_t nHeight = 0)
{
    CVCData message;
    message.SetCmd(nCmd);
    message.SetCallingProcessID(nProcess);
    if (nWidth) {
        CMyByteArray pixels(nWidth * nHeight);
        for (uint32_t i = 0; i < pixels.GetSize(); ++i)
            pixels.ElementAt(i) = static_cast<uint8_t>((i * 2654435761u) >> 24);
        EXPECT_TRUE(message.SetImage(pixels, nWidth, nHeight));
    }
    CMyByteArray envelope;
    EXPECT_TRUE(message.Serialize(envelope));
    return envelope;
}

// The chunks a client sends for one block: 1600 data bytes each behind the
// block's length and FIRST/LAST.
std::vector<Bytes> Chunks(const CMyByteArray& block)
{
    std::vector<Bytes> chunks;
    for (uint32_t nAt = 0; nAt < block.GetSize(); nAt += CHANNEL_CHUNK_LENGTH) {
        const uint32_t n = std::min<uint32_t>(CHANNEL_CHUNK_LENGTH, block.GetSize() - nAt);
        Bytes chunk(8 + n);
        StoreLE32(chunk.data(), block.GetSize());
        StoreLE32(chunk.data() + 4, (nAt == 0 ? CHANNEL_FLAG_FIRST : 0) |
                                        (nAt + n == block.GetSize() ? CHANNEL_FLAG_LAST : 0));
        std::memcpy(chunk.data() + 8, block.GetData() + nAt, n);
        chunks.push_back(chunk);
    }
    return chunks;
}

class VCServer : public CaptureTest {
protected:
    VCServer()
    {
        pal::SetSetting("VESK_RDP_SESSION", "scripted");
        g_script.chunks.clear();
        g_script.commands.clear();
    }
    ~VCServer() override { pal::ClearSetting("VESK_RDP_SESSION"); }

    static void Queue(const std::vector<Bytes>& chunks)
    {
        const std::lock_guard<std::mutex> guard(g_script.lock);
        g_script.chunks.insert(g_script.chunks.end(), chunks.begin(), chunks.end());
    }
    // One answer read into a 400,000-byte image record.
    uint32_t ReadOne(CVCServer& server)
    {
        m_image = FingerscannerImage{nullptr, m_pixels.data(), 240, 368};
        return server.ReadVCData(&m_image);
    }

    const uint32_t m_nPid = GetCurrentProcessId();
    std::vector<uint8_t> m_pixels = std::vector<uint8_t>(400000);
    FingerscannerImage m_image{};
};

TEST_F(VCServer, AnswersAndTheirChunks)
{
    CVCServer server(kApi, true);
    ASSERT_TRUE(server.IsOpen());
    const CMyByteArray status = Envelope(FS_EVENT_READY_VESKBIT, m_nPid);
    ASSERT_EQ(status.GetSize(), 64u);
    const CMyByteArray image = Envelope(FS_EVENT_IMAGE, m_nPid, 240, 368);
    // An image whose envelope fills its last chunk exactly.
    CMyByteArray exact;
    for (uint32_t nWidth = 3000; nWidth < 6000 && (exact.IsEmpty() || exact.GetSize() % CHANNEL_CHUNK_LENGTH); ++nWidth)
        exact = Envelope(FS_EVENT_IMAGE, m_nPid, nWidth, 1);
    ASSERT_EQ(exact.GetSize() % CHANNEL_CHUNK_LENGTH, 0u);
    std::vector<Bytes> shortEnd = Chunks(image);
    StoreLE32(shortEnd.back().data() + 4, 0);  // the short chunk alone ends it
    std::vector<Bytes> lastOnly = Chunks(status);
    StoreLE32(lastOnly[0].data() + 4, CHANNEL_FLAG_LAST);
    CMyByteArray lying = image;
    StoreLE32(lying.GetData(), LoadLE32(lying.GetData()) + 1);
    std::vector<Bytes> tooLarge = Chunks(image);
    StoreLE32(tooLarge[0].data(), 400201);

    const struct {
        const char* name;
        std::vector<Bytes> chunks;
        uint32_t result;
    } cases[] = {
        {"status in one chunk", Chunks(status), FS_EVENT_READY_VESKBIT},
        {"ends on a full chunk with LAST", Chunks(exact), FS_EVENT_IMAGE},
        {"a short chunk ends it", shortEnd, FS_EVENT_IMAGE},
        {"LAST alone first", lastOnly, FS_EVENT_CHANNEL_ERROR},
        {"length field one more", Chunks(lying), FS_EVENT_SIZE_MISMATCH},
        {"another process", Chunks(Envelope(FS_EVENT_READY_VESKBIT, m_nPid + 1)), FS_EVENT_REMOTE_ABORTED},
        {"shorter than a chunk header", {Bytes{1, 2, 3}}, FS_EVENT_CHANNEL_ERROR},
        {"more than an image can need", tooLarge, FS_EVENT_CHANNEL_ERROR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Queue(c.chunks);
        EXPECT_EQ(ReadOne(server), c.result);
        g_script.chunks.clear();
    }
    Queue(Chunks(image));  // an image in chunks, read whole
    ASSERT_EQ(ReadOne(server), uint32_t(FS_EVENT_IMAGE));
    EXPECT_EQ(m_image.width, 240u);
    EXPECT_EQ(m_image.height, 368u);
    CVCData sent;
    ASSERT_TRUE(sent.Deserialize(image));
    EXPECT_EQ(std::memcmp(m_pixels.data(), sent.GetData().GetData(), 240 * 368), 0);
}

TEST_F(VCServer, ACycleForwardsEventsUntilTheImage)
{
    ExtractionThreadData capture;
    capture.callback.store(&CRecorder::Callback);
    capture.context = 70;
    Queue(Chunks(Envelope(FS_EVENT_READY_UPEK, m_nPid)));  // stale: drained by the construction
    {
        CVCServer server(kApi, false);
        for (const uint32_t nCode : {1025u, 2501u, 4012u, 7000u})
            Queue(Chunks(Envelope(nCode, m_nPid)));
        Queue(Chunks(Envelope(FS_EVENT_IMAGE, m_nPid, 240, 368)));
        m_image = FingerscannerImage{nullptr, m_pixels.data(), 240, 368};
        EXPECT_EQ(server.GetImageFromRDPSensor(&capture, &m_image), 0u);
    }
    EXPECT_EQ(CRecorder::Instance().Codes(70),
              (std::vector<uint32_t>{FS_EVENT_REMOTE_CAPTURE, 2501, FS_EVENT_REMOTE_NO_SENSOR}));
    EXPECT_EQ(g_script.commands, (std::vector<uint32_t>{VC_CMD_GET_IMAGE, VC_CMD_RELEASE}));
}

TEST_F(VCServer, ACycleEndsOnBusyAnotherProcessAStopOrAChannelThatIsGone)
{
    ExtractionThreadData capture;
    const struct {
        const char* name;
        std::vector<Bytes> chunks;
        uint32_t result;
    } cases[] = {
        {"busy", Chunks(Envelope(FS_EVENT_REMOTE_BUSY, m_nPid)), FS_EVENT_REMOTE_BUSY},
        {"another process", Chunks(Envelope(FS_EVENT_READY_VESKBIT, 1)), FS_EVENT_REMOTE_ABORTED},
        {"gone", std::vector<Bytes>(VC_MAX_IDLE_READS + 1), FS_EVENT_CHANNEL_ERROR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CVCServer server(kApi, true);
        Queue(c.chunks);
        EXPECT_EQ(server.GetImageFromRDPSensor(&capture, &m_image), c.result);
        g_script.chunks.clear();
    }
    // Nothing comes; the stop ends the wait within a read or two.
    capture.running.store(0);
    CVCServer server(kApi, true);
    EXPECT_EQ(server.GetImageFromRDPSensor(&capture, &m_image), VC_READ_STOPPED);
}

TEST_F(VCServer, OutsideASessionNothingIsOpenedOrSent)
{
    pal::ClearSetting("VESK_RDP_SESSION");
    {
        CVCServer server(kApi, false);
        EXPECT_FALSE(server.IsOpen());
        EXPECT_EQ(ReadOne(server), uint32_t(FS_EVENT_CHANNEL_ERROR));
    }
    EXPECT_TRUE(g_script.commands.empty());
}

}  // namespace
}  // namespace capturetest
