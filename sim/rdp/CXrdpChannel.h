// One WTSVirtualChannelOpen in an xrdp session: xrdp's libxrdpapi.so, loaded
// at run time, under the semantics a Windows session side has. What differs:
// - client to session, xrdp delivers a byte stream; CStreamChunks restores
//   the chunks and their headers the session side reads on Windows;
// - session to client, xrdp cuts writes over 32 KB into several messages for
//   the add-in; the session side only writes 64-byte commands, never cut;
// - no notice comes when the client goes: reads just time out. A message
//   that stops arriving half-way is taken as the client gone.
#pragma once
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/rdp/CWtsChannel.h"
#include "sim/rdp/StreamChunks.h"

namespace vrdp {

// libxrdpapi.so ships no header; these are its prototypes.
struct SXrdpApi {
    void* (*pfnOpenEx)(unsigned int nSession, const char* pszName, unsigned int nFlags);
    // 1 on success, nothing written while the socket is full; 0 on an error.
    int (*pfnWrite)(void* hChannel, const char* pData, unsigned int nLength, unsigned int* pWritten);
    // 1 on success, nothing read within the time-out; 0 on an error or close.
    int (*pfnRead)(void* hChannel, unsigned int nTimeoutMs, char* pBuffer, unsigned int nSize,
                   unsigned int* pRead);
    int (*pfnClose)(void* hChannel);
    int (*pfnQuery)(void* hChannel, int nClass, void** ppBuffer, unsigned int* pBytes);
    void (*pfnFree)(void* pMemory);
};

class CXrdpChannel : public CWtsChannel {
public:
    // ERROR_SUCCESS and the channel; ERROR_FILE_NOT_FOUND when libxrdpapi.so
    // is missing or the session's channel server does not answer.
    static DWORD Open(const std::string& sName, std::shared_ptr<CWtsChannel>& channel);

    // An open channel of `api` and its socket.
    CXrdpChannel(const SXrdpApi& api, void* hChannel, int nFd);
    ~CXrdpChannel() override;
    CXrdpChannel(const CXrdpChannel&) = delete;
    CXrdpChannel& operator=(const CXrdpChannel&) = delete;

    DWORD Write(const uint8_t* pData, ULONG nLength) override;
    DWORD Read(ULONG nTimeoutMs, uint8_t* pBuffer, ULONG nSize, ULONG& nRead) override;
    void Shutdown() override;

private:
    DWORD _Broken();

    std::mutex m_oLock;
    const SXrdpApi& m_api;
    void* const m_hChannel;
    const int m_nFd;  // libxrdpapi's own socket: shut down, never closed here
    CStreamChunks m_oChunks;
    std::vector<uint8_t> m_chunk;
    std::vector<char> m_received;
    std::chrono::milliseconds m_tStalled{0};  // waited mid-message with nothing new
    bool m_bBroken = false;
};

}  // namespace vrdp
