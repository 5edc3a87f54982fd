// The channel thread's loop: accepts session connections, answers their
// frames, relays blocks to the add-ins and chunks back, and reports the
// add-ins' writes, until a stop signal or the end of the run's time.
#pragma once
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "CConnection.h"
#include "CListener.h"
#include "CVirtualChannels.h"
#include "CWakePipe.h"

namespace vrdpc {

class CSessionServer {
public:
    using Clock = std::chrono::steady_clock;

    CSessionServer(CListener& listener, CVirtualChannels& channels, const CWakePipe& wake);

    // Serves until SIGINT or SIGTERM, or until the deadline; answers which.
    std::u16string Run(std::optional<Clock::time_point> deadline);
    // CHANNEL_EVENT_WRITE_COMPLETE for the add-ins' writes so far, each with a line.
    void ReportWrites();
    // Closes every connection.
    void CloseAll();

private:
    struct SWaitingRead {
        unsigned nConnection;
        std::string sChannel;
        Clock::time_point deadline;
    };

    void _Accept();
    void _Serve(CConnection& connection, short nEvents);
    void _TakeFrames(CConnection& connection);
    bool _OnFrame(CConnection& connection, vrdp::SFrame& frame);
    bool _OnHello(CConnection& connection, const vrdp::SFrame& frame);
    bool _OnWrite(CConnection& connection, const vrdp::SFrame& frame);
    bool _OnRead(CConnection& connection, const vrdp::SFrame& frame);
    bool _SendChunk(CConnection& connection, const SChunk& chunk);
    bool _SendNothing(CConnection& connection);
    void _AnswerWaiting(Clock::time_point now);
    void _Drop(unsigned nConnection, const std::u16string& sWhy);
    int _PollTimeout(Clock::time_point now, std::optional<Clock::time_point> deadline) const;

    CListener& m_oListener;
    CVirtualChannels& m_oChannels;
    const CWakePipe& m_oWake;
    std::map<unsigned, std::unique_ptr<CConnection>> m_mapConnections;
    std::deque<SWaitingRead> m_dqWaiting;  // oldest first
    unsigned m_nNextId = 1;
};

}  // namespace vrdpc
