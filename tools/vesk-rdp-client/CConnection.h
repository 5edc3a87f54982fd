// One session connection (one WTSVirtualChannelOpen) as the channel thread
// sees it: non-blocking, with the bytes received and not yet framed, and the
// answers not yet sent.
#pragma once
#include <string>
#include <vector>

#include "sim/rdp/CFileDescriptor.h"
#include "sim/rdp/RdpWire.h"

namespace vrdpc {

class CConnection {
public:
    CConnection(vrdp::CFileDescriptor socket, unsigned nId);

    int Fd() const { return m_oSocket.Get(); }
    unsigned Id() const { return m_nId; }
    // The channel it opened; empty before its Hello.
    const std::string& Channel() const { return m_sChannel; }
    void SetChannel(const std::string& sName) { m_sChannel = sName; }
    // A Read of this connection waits for a chunk; its next frame is not
    // taken before that is answered.
    bool IsWaiting() const { return m_bWaiting; }
    void SetWaiting(bool bWaiting) { m_bWaiting = bWaiting; }

    // What poll() should watch for.
    short Events() const;
    // Reads what has arrived; false when the session is gone.
    bool Receive();
    vrdp::EParse Take(vrdp::SFrame& frame);
    // Queues an answer and sends what the socket takes now; false when the
    // session is gone or lets its answers pile up.
    bool Send(const vrdp::SFrame& frame);
    bool Flush();

private:
    vrdp::CFileDescriptor m_oSocket;
    const unsigned m_nId;
    std::string m_sChannel;
    bool m_bWaiting = false;
    std::vector<uint8_t> m_vIn;
    std::vector<uint8_t> m_vOut;
};

}  // namespace vrdpc
