// Helpers of the transport tests: the session's WtsApi32 loaded as the
// library loads it, a scripted client on a socket, vesk-rdp-client as a
// child process, and blocks of known bytes.
#pragma once
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "pal/windows.h"
#include "sim/rdp/CFileDescriptor.h"
#include "sim/rdp/RdpWire.h"

namespace rdptest {

using Bytes = std::vector<uint8_t>;

// n bytes that differ with the seed and along the block.
Bytes Pattern(size_t nCount, uint8_t nSeed);

// WtsApi32.dll through LoadLibraryW and GetProcAddress, as the library
// reaches it; every failure is read with this module's GetLastError.
struct CWtsApi {
    CWtsApi();
    ~CWtsApi() { if (hModule) FreeLibrary(hModule); }

    HMODULE hModule = nullptr;
    decltype(&WTSVirtualChannelOpen) Open = nullptr;
    decltype(&WTSVirtualChannelClose) Close = nullptr;
    decltype(&WTSVirtualChannelRead) Read = nullptr;
    decltype(&WTSVirtualChannelWrite) Write = nullptr;
    decltype(&WTSVirtualChannelQuery) Query = nullptr;
};

// Listens at a path and runs a script on the next connection, on a thread
// of its own; the connection closes when the script returns.
class CScriptedClient {
public:
    explicit CScriptedClient(const std::string& sPath);
    ~CScriptedClient() { Join(); }
    void Serve(std::function<void(int nFd)> script);
    void Join();

private:
    vrdp::CFileDescriptor m_oListener;
    std::thread m_thread;
};

bool Send(int nFd, vrdp::EFrame eType, uint32_t nA = 0, uint32_t nB = 0, Bytes data = {});
// The next frame within 10 s; a test failure when it is not of that type.
vrdp::SFrame Expect(int nFd, vrdp::EFrame eType);

// A program run in the background with its output in <stem>.out and .err.
class CChild {
public:
    CChild(const std::vector<std::string>& argv, const std::string& sOutputStem);
    ~CChild() { Wait(std::chrono::seconds(0)); }
    void Signal(int nSignal) const;
    // The exit status, or -1 when it has not ended within the time; it is
    // killed then.
    int Wait(std::chrono::seconds limit);

private:
    pid_t m_nPid = -1;
};

// Whether the file comes to hold the text within 20 s.
bool WaitForText(const std::string& sPath, const std::string& sText);

}  // namespace rdptest
