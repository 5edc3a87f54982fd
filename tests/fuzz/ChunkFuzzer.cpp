// The session side's reassembly of an answer from channel chunks. The input
// is a plaintext message, sealed here for this process (so that answers get
// past the envelope and the process check to the image copy), and a script
// that cuts its envelope into chunks of any length, flags and announced
// total, with failed reads between them:
//   byte 0: n, the number of scripted chunks (at most 15)
//   n records of 4 bytes: data length (16 bits), flags, changes (bit 0: the
//     total announced one higher, bit 1: one lower, bit 2: a failed read first)
//   the rest: the plaintext
// What the script leaves of the envelope follows in standard chunks.
#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

#include "FuzzKit.h"
#include "capture/ExtractionThreadData.h"
#include "channel/C3DESEncode.h"
#include "channel/CVCServer.h"
#include "pal/base/settings.h"
#include "support/LittleEndian.h"

namespace {

using Chunk = std::vector<uint8_t>;
std::deque<Chunk> g_chunks;  // an empty one: a read that fails
int g_nFailures = 0;
bool g_bEndSent = false;

HANDLE WINAPI Open(HANDLE, DWORD, LPSTR) { return reinterpret_cast<HANDLE>(1); }
BOOL WINAPI Close(HANDLE) { return TRUE; }
BOOL WINAPI Write(HANDLE, PCHAR, ULONG nLength, PULONG pWritten)
{
    *pWritten = nLength;
    return TRUE;
}

// Once the script is read the client sends one bare LAST chunk, which ends
// a reassembly at once instead of a hundred idle reads, and then nothing.
BOOL WINAPI Read(HANDLE, ULONG, PCHAR pBuffer, ULONG nSize, PULONG pRead)
{
    Chunk chunk;
    if (!g_chunks.empty()) {
        chunk = std::move(g_chunks.front());
        g_chunks.pop_front();
    } else if (!g_bEndSent) {
        g_bEndSent = true;
        chunk = {0, 0, 0, 0, CHANNEL_FLAG_LAST, 0, 0, 0};
    }
    if (chunk.empty() || chunk.size() > nSize)
        return FALSE;
    std::memcpy(pBuffer, chunk.data(), chunk.size());
    *pRead = static_cast<ULONG>(chunk.size());
    return TRUE;
}

const CVCServer::SChannelApi kApi{&Open, &Close, &Write, &Read,
                                  reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&Close))};

void Push(const uint8_t* pData, uint32_t nLength, uint32_t nTotal, uint32_t nFlags)
{
    Chunk chunk(8 + nLength);
    StoreLE32(chunk.data(), nTotal);
    StoreLE32(chunk.data() + 4, nFlags);
    if (nLength)
        std::memcpy(chunk.data() + 8, pData, nLength);
    g_chunks.push_back(std::move(chunk));
}

// Each failed read costs the reader a pause; a few show the path.
void Fail()
{
    if (g_nFailures++ < 2)
        g_chunks.emplace_back();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize < 1)
        return 0;
    const size_t nRecords = std::min<size_t>(pData[0] & 0x0F, (nSize - 1) / 4);
    const uint8_t* pScript = pData + 1;
    CMyByteArray plain = fuzzkit::Bytes(pScript + 4 * nRecords, nSize - 1 - 4 * nRecords);
    if (plain.GetSize() >= 32)
        StoreLE32(plain.GetData() + 28, GetCurrentProcessId());
    CMyByteArray envelope;
    if (plain.IsEmpty() || !C3DESEncode::SerializeWithSeed(plain, envelope, fuzzkit::kSealSeed))
        return 0;

    g_chunks.clear();
    g_nFailures = 0;
    g_bEndSent = false;
    const uint32_t nTotal = envelope.GetSize();
    uint32_t nAt = 0;
    for (size_t i = 0; i < nRecords; ++i) {
        const uint8_t* r = pScript + 4 * i;
        const uint32_t nLength = std::min<uint32_t>(LoadLE16(r) % (CHANNEL_CHUNK_LENGTH + 1), nTotal - nAt);
        if (r[3] & 4)
            Fail();
        Push(envelope.GetData() + nAt, nLength, nTotal + (r[3] & 1) - ((r[3] >> 1) & 1), r[2]);
        nAt += nLength;
    }
    for (; nAt < nTotal; nAt += CHANNEL_CHUNK_LENGTH) {
        const uint32_t nLength = std::min<uint32_t>(CHANNEL_CHUNK_LENGTH, nTotal - nAt);
        Push(envelope.GetData() + nAt, nLength, nTotal,
             (nAt == 0 ? CHANNEL_FLAG_FIRST : 0) | (nAt + nLength == nTotal ? CHANNEL_FLAG_LAST : 0));
    }

    pal::SetSetting("VESK_RDP_SESSION", "fuzz");
    CVCServer server(kApi, true);
    // Exactly the buffer the capture thread gives: the copy may not pass it.
    std::vector<uint8_t> pixels(400000);
    while (!g_chunks.empty() && !g_bEndSent) {
        FingerscannerImage image{nullptr, pixels.data(), 240, 368};
        const uint32_t nCode = server.ReadVCData(&image);
        if (nCode == FS_EVENT_IMAGE)
            fuzzkit::Require(uint64_t{image.width} * image.height <= pixels.size());
    }
    g_bEndSent = true;  // the release's drain finds nothing
    return 0;
}
