#include "sim/rdp/CXrdpChannel.h"

#include <dlfcn.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "sim/rdp/RdpWire.h"
#include "sim/rdp/WtsErrors.h"

namespace vrdp {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr unsigned int kCurrentSession = 0xFFFFFFFFu;
constexpr int kVirtualFileHandle = 1;
// Right after a session starts its channel server may not listen yet.
constexpr milliseconds kOpenRetryFor{1000};
constexpr milliseconds kOpenRetryPause{100};
constexpr milliseconds kSendWait{5000};
// A live client sends the rest of an image within milliseconds; this much
// silence half-way through a message means it is gone.
constexpr milliseconds kStallLimit{250};
constexpr unsigned int kReceiveBytes = 64 * 1024;

template <class T>
bool Bind(void* hLibrary, const char* pszName, T& pfn)
{
    pfn = reinterpret_cast<T>(dlsym(hLibrary, pszName));
    return pfn != nullptr;
}

const SXrdpApi* LoadApi()
{
    // Not on the loader's path: Debian keeps it in xrdp's own folder.
    const char* const kPaths[] = {"libxrdpapi.so.0", "/usr/lib/x86_64-linux-gnu/xrdp/libxrdpapi.so.0",
                                  "/usr/lib/aarch64-linux-gnu/xrdp/libxrdpapi.so.0",
                                  "/usr/lib/xrdp/libxrdpapi.so.0", "/usr/local/lib/xrdp/libxrdpapi.so.0"};
    for (const char* pszPath : kPaths) {
        void* hLibrary = dlopen(pszPath, RTLD_NOW | RTLD_LOCAL);
        if (!hLibrary)
            continue;
        static SXrdpApi api;  // the library stays loaded for the process
        if (Bind(hLibrary, "WTSVirtualChannelOpenEx", api.pfnOpenEx) &&
            Bind(hLibrary, "WTSVirtualChannelWrite", api.pfnWrite) &&
            Bind(hLibrary, "WTSVirtualChannelRead", api.pfnRead) &&
            Bind(hLibrary, "WTSVirtualChannelClose", api.pfnClose) &&
            Bind(hLibrary, "WTSVirtualChannelQuery", api.pfnQuery) &&
            Bind(hLibrary, "WTSFreeMemory", api.pfnFree))
            return &api;
        dlclose(hLibrary);
    }
    return nullptr;
}

const SXrdpApi* Api()
{
    static const SXrdpApi* const pApi = LoadApi();
    return pApi;
}

int SocketOf(const SXrdpApi& api, void* hChannel)
{
    void* pBuffer = nullptr;
    unsigned int nBytes = 0;
    int nFd = -1;
    if (api.pfnQuery(hChannel, kVirtualFileHandle, &pBuffer, &nBytes) && pBuffer &&
        nBytes == sizeof nFd)
        std::memcpy(&nFd, pBuffer, sizeof nFd);
    api.pfnFree(pBuffer);
    return nFd;
}

}  // namespace

DWORD CXrdpChannel::Open(const std::string& sName, std::shared_ptr<CWtsChannel>& channel)
{
    const SXrdpApi* pApi = Api();
    if (!pApi)
        return ERROR_FILE_NOT_FOUND;
    const Clock::time_point tGiveUp = Clock::now() + kOpenRetryFor;
    void* hChannel = nullptr;
    while (!(hChannel = pApi->pfnOpenEx(kCurrentSession, sName.c_str(), 0))) {
        if (Clock::now() >= tGiveUp)
            return ERROR_FILE_NOT_FOUND;
        std::this_thread::sleep_for(kOpenRetryPause);
    }
    const int nFd = SocketOf(*pApi, hChannel);
    if (nFd < 0) {
        pApi->pfnClose(hChannel);
        return ERROR_FILE_NOT_FOUND;
    }
    channel = std::make_shared<CXrdpChannel>(*pApi, hChannel, nFd);
    return ERROR_SUCCESS;
}

CXrdpChannel::CXrdpChannel(const SXrdpApi& api, void* hChannel, int nFd)
    : m_api(api), m_hChannel(hChannel), m_nFd(nFd), m_oChunks(kMaxFrameData), m_received(kReceiveBytes)
{
}

CXrdpChannel::~CXrdpChannel() { m_api.pfnClose(m_hChannel); }

DWORD CXrdpChannel::Write(const uint8_t* pData, ULONG nLength)
{
    std::lock_guard<std::mutex> guard(m_oLock);
    if (m_bBroken)
        return ERROR_BROKEN_PIPE;
    // libxrdpapi writes nothing (and says so) while its socket is full, and
    // otherwise the whole block.
    const Clock::time_point tGiveUp = Clock::now() + kSendWait;
    for (;;) {
        unsigned int nWritten = 0;
        if (!m_api.pfnWrite(m_hChannel, reinterpret_cast<const char*>(pData), nLength, &nWritten))
            return _Broken();
        if (nWritten == nLength)
            return ERROR_SUCCESS;
        if (nWritten != 0 || Clock::now() >= tGiveUp)
            return _Broken();
        pollfd wait{m_nFd, POLLOUT, 0};
        poll(&wait, 1, 100);
    }
}

DWORD CXrdpChannel::Read(ULONG nTimeoutMs, uint8_t* pBuffer, ULONG nSize, ULONG& nRead)
{
    nRead = 0;
    std::lock_guard<std::mutex> guard(m_oLock);
    if (m_bBroken)
        return ERROR_BROKEN_PIPE;
    // Bounded as the local transport bounds it (INFINITE too).
    const Clock::time_point tEnd = Clock::now() + milliseconds(std::min<ULONG>(nTimeoutMs, kMaxReadWaitMs));
    for (;;) {
        const CStreamChunks::ETake eTake = m_oChunks.Take(m_chunk);
        if (eTake == CStreamChunks::ETake::Malformed)
            return _Broken();
        if (eTake == CStreamChunks::ETake::Chunk) {
            // Taken off the stream: a chunk that does not fit is lost, as on
            // the local transport. Callers give room for a chunk and header.
            if (m_chunk.size() > nSize)
                return ERROR_INSUFFICIENT_BUFFER;
            std::memcpy(pBuffer, m_chunk.data(), m_chunk.size());
            nRead = static_cast<ULONG>(m_chunk.size());
            return ERROR_SUCCESS;
        }
        const bool bInMessage = m_oChunks.InMessage();
        if (bInMessage && m_tStalled >= kStallLimit)
            return _Broken();
        const Clock::time_point tNow = Clock::now();
        if (tNow >= tEnd)
            return ERROR_TIMEOUT;
        milliseconds tWait = std::chrono::duration_cast<milliseconds>(tEnd - tNow) + milliseconds(1);
        if (bInMessage)
            tWait = std::min(tWait, kStallLimit - m_tStalled);
        unsigned int nGot = 0;
        const Clock::time_point tAsked = Clock::now();
        // 0: an error, or the channel server closed the socket.
        if (!m_api.pfnRead(m_hChannel, static_cast<unsigned int>(tWait.count()), m_received.data(),
                            kReceiveBytes, &nGot))
            return _Broken();
        if (nGot == 0) {
            if (bInMessage)
                m_tStalled += std::chrono::duration_cast<milliseconds>(Clock::now() - tAsked);
            continue;
        }
        m_tStalled = milliseconds(0);
        m_oChunks.Feed(reinterpret_cast<const uint8_t*>(m_received.data()), std::min(nGot, kReceiveBytes));
    }
}

void CXrdpChannel::Shutdown() { shutdown(m_nFd, SHUT_RDWR); }

DWORD CXrdpChannel::_Broken()
{
    m_bBroken = true;
    shutdown(m_nFd, SHUT_RDWR);
    return ERROR_BROKEN_PIPE;
}

}  // namespace vrdp
