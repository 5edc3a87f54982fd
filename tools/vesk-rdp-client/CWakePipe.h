// What wakes the channel thread from its poll(): a pipe that the add-ins'
// writes (from any thread) and the stop signals put a byte into.
#pragma once
#include <signal.h>

#include "sim/rdp/CFileDescriptor.h"

namespace vrdpc {

class CWakePipe {
public:
    CWakePipe();  // throws std::system_error
    int Fd() const { return m_oRead.Get(); }
    // Safe from any thread and from a signal handler; a full pipe wakes anyway.
    void Wake() const;
    void Drain() const;

private:
    vrdp::CFileDescriptor m_oRead;
    vrdp::CFileDescriptor m_oWrite;
};

// While it lives, SIGINT and SIGTERM only note the signal and wake the pipe;
// a second one ends the process as usual.
class CStopSignals {
public:
    explicit CStopSignals(const CWakePipe& wake);
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

    // The signal that came, or 0.
    static int Caught();

private:
    struct sigaction m_oOldInt {};
    struct sigaction m_oOldTerm {};
};

}  // namespace vrdpc
