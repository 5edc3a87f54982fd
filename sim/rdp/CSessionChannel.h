// One WTSVirtualChannelOpen of the session side: a connection to the client
// named by VESK_RDP_SESSION, and the channel options the client accepted it
// with. Calls on one channel take turns; Shutdown may come from any thread.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "pal/base/wintypes.h"
#include "sim/rdp/CFileDescriptor.h"
#include "sim/rdp/CWtsChannel.h"
#include "sim/rdp/RdpWire.h"

namespace vrdp {

class CSessionChannel : public CWtsChannel {
public:
    // ERROR_SUCCESS and the channel, else the Win32 code for the caller:
    // ERROR_FILE_NOT_FOUND when no client answers, the client's own code when
    // it refuses the name.
    static DWORD Open(const std::string& sSocket, const std::string& sName,
                      std::shared_ptr<CSessionChannel>& channel);

    CSessionChannel(CFileDescriptor socket, ULONG nOptions);

    // Each answers ERROR_SUCCESS or the Win32 code of the failure; once the
    // client is gone, every call answers ERROR_BROKEN_PIPE.
    DWORD Write(const uint8_t* pData, ULONG nLength) override;
    DWORD Read(ULONG nTimeoutMs, uint8_t* pBuffer, ULONG nSize, ULONG& nRead) override;
    // Ends the connection; a call under way on another thread returns at once.
    // The descriptor itself is closed with the object, so it cannot be reused
    // under that call.
    void Shutdown() override;

private:
    DWORD _Broken();
    DWORD _Store(const SFrame& chunk, uint8_t* pBuffer, ULONG nSize, ULONG& nRead) const;

    std::mutex m_oLock;
    CFileDescriptor m_oSocket;
    const ULONG m_nOptions;
    bool m_bBroken = false;
};

}  // namespace vrdp
