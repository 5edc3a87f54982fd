// The local socket the session connects to: a file only this user may open,
// replaced when a client that died left it behind, refused when a running
// client listens there, and removed when the run ends.
#pragma once
#include <sys/types.h>

#include <string>

#include "sim/rdp/CFileDescriptor.h"

namespace vrdpc {

class CListener {
public:
    // Throws CToolError with kExitSocket when the path cannot be listened on.
    explicit CListener(const std::string& sPath);
    ~CListener() { Remove(); }
    CListener(const CListener&) = delete;
    CListener& operator=(const CListener&) = delete;

    int Fd() const { return m_oSocket.Get(); }
    // Stops listening and removes the socket file, unless another one has
    // taken its place.
    void Remove();
    // The next waiting connection, non-blocking; invalid when none waits.
    vrdp::CFileDescriptor Accept();

private:
    std::string m_sPath;
    vrdp::CFileDescriptor m_oSocket;
    dev_t m_nDevice = 0;
    ino_t m_nInode = 0;
};

}  // namespace vrdpc
