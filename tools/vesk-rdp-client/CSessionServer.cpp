#include "CSessionServer.h"

#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <vector>

#include "Chunks.h"
#include "Console.h"
#include "ToolText.h"
#include "sim/rdp/WtsErrors.h"

namespace vrdpc {
namespace {

using vrdp::EFrame;
using vrdp::SFrame;

// The loop looks at the clock and the stop flag at least this often.
constexpr int kMaxPollMs = 1000;

void Say(const std::u16string& sLine) { vtool::WriteOut(sLine + u'\n'); }

std::u16string Connection(unsigned nId) { return u"session connection " + vtool::Decimal(nId); }

// A channel name from the wire, printable whatever the session sent.
std::u16string Printable(const std::string& sName)
{
    std::u16string sText;
    for (const char c : sName)
        sText += c >= 0x20 && c < 0x7F ? static_cast<char16_t>(c) : u'?';
    return sText;
}

std::u16string Bytes(size_t nCount)
{
    return vtool::Decimal(nCount) + u" bytes (" + vtool::Decimal(CountChunks(nCount)) +
           (CountChunks(nCount) == 1 ? u" chunk)" : u" chunks)");
}

SFrame Answer(EFrame eType, uint32_t nA = 0)
{
    SFrame frame;
    frame.eType = eType;
    frame.nA = nA;
    return frame;
}

}  // namespace

CSessionServer::CSessionServer(CListener& listener, CVirtualChannels& channels, const CWakePipe& wake)
    : m_oListener(listener), m_oChannels(channels), m_oWake(wake)
{
}

std::u16string CSessionServer::Run(std::optional<Clock::time_point> deadline)
{
    for (;;) {
        if (const int nSignal = CStopSignals::Caught())
            return nSignal == SIGINT ? u"Ctrl-C (SIGINT)" : u"SIGTERM";
        if (deadline && Clock::now() >= *deadline)
            return u"the time of --seconds has passed";
        std::vector<pollfd> fds = {{m_oWake.Fd(), POLLIN, 0}, {m_oListener.Fd(), POLLIN, 0}};
        std::vector<unsigned> ids;
        for (const auto& [nId, connection] : m_mapConnections) {
            fds.push_back({connection->Fd(), connection->Events(), 0});
            ids.push_back(nId);
        }
        const int nReady = poll(fds.data(), fds.size(), _PollTimeout(Clock::now(), deadline));
        if (nReady < 0 && errno != EINTR)
            throw std::system_error(errno, std::generic_category(), "poll");
        if (nReady > 0 && fds[0].revents)
            m_oWake.Drain();
        ReportWrites();
        if (nReady > 0 && (fds[1].revents & POLLIN))
            _Accept();
        for (size_t i = 0; nReady > 0 && i < ids.size(); ++i) {
            const auto it = m_mapConnections.find(ids[i]);
            if (fds[i + 2].revents && it != m_mapConnections.end())
                _Serve(*it->second, fds[i + 2].revents);
        }
        _AnswerWaiting(Clock::now());
    }
}

void CSessionServer::CloseAll()
{
    if (!m_mapConnections.empty())
        Say(u"closing " + vtool::Decimal(m_mapConnections.size()) + u" session connection(s)");
    m_dqWaiting.clear();
    m_mapConnections.clear();
}

int CSessionServer::_PollTimeout(Clock::time_point now, std::optional<Clock::time_point> deadline) const
{
    Clock::time_point next = now + std::chrono::milliseconds(kMaxPollMs);
    for (const SWaitingRead& waiting : m_dqWaiting)
        next = std::min(next, waiting.deadline);
    if (deadline)
        next = std::min(next, *deadline);
    // Rounded up, so that a deadline is not polled for again and again just before it passes.
    const auto nMs = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
    return static_cast<int>(std::max<decltype(nMs)>(nMs, 0));
}

void CSessionServer::_Accept()
{
    for (vrdp::CFileDescriptor socket = m_oListener.Accept(); socket.IsValid();
         socket = m_oListener.Accept()) {
        const unsigned nId = m_nNextId++;
        m_mapConnections[nId] = std::make_unique<CConnection>(std::move(socket), nId);
    }
}

void CSessionServer::_Serve(CConnection& connection, short nEvents)
{
    const unsigned nId = connection.Id();
    if ((nEvents & POLLOUT) && !connection.Flush())
        return _Drop(nId, u"the session is gone");
    if (!(nEvents & (POLLIN | POLLHUP | POLLERR | POLLRDHUP)))
        return;
    // A waiting connection is polled for its end only.
    if (connection.IsWaiting() || !connection.Receive())
        return _Drop(nId, u"closed by the session");
    _TakeFrames(connection);
}

void CSessionServer::_TakeFrames(CConnection& connection)
{
    for (;;) {
        SFrame frame;
        const vrdp::EParse eParse = connection.Take(frame);
        if (eParse == vrdp::EParse::Incomplete)
            return;
        if (eParse == vrdp::EParse::Malformed)
            return _Drop(connection.Id(), u"it sent a malformed frame");
        if (!_OnFrame(connection, frame))
            return;
    }
}

// False when the connection was dropped: the caller must not touch it again.
bool CSessionServer::_OnFrame(CConnection& connection, vrdp::SFrame& frame)
{
    const unsigned nId = connection.Id();
    const bool bHello = frame.eType == EFrame::Hello;
    if (bHello != connection.Channel().empty()) {
        _Drop(nId, bHello ? u"it said Hello twice" : u"it sent a request before its Hello");
        return false;
    }
    switch (frame.eType) {
    case EFrame::Hello:
        return _OnHello(connection, frame);
    case EFrame::Write:
        return _OnWrite(connection, frame);
    case EFrame::Read:
        return _OnRead(connection, frame);
    default:
        _Drop(nId, u"it sent a frame that only a client sends");
        return false;
    }
}

bool CSessionServer::_OnHello(CConnection& connection, const vrdp::SFrame& frame)
{
    const std::string sName(frame.data.begin(), frame.data.end());
    ULONG nOptions = 0;
    if (sName.empty() || sName.size() > CHANNEL_NAME_LEN || !m_oChannels.Find(sName, nOptions)) {
        Say(Connection(connection.Id()) + u" refused: no add-in registered channel '" +
            Printable(sName) + u"'");
        if (connection.Send(Answer(EFrame::Refused, ERROR_FILE_NOT_FOUND)))
            return true;
        _Drop(connection.Id(), u"the session is gone");
        return false;
    }
    // The add-ins learn of the session before it learns it may use the channel.
    if (m_oChannels.Connect())
        Say(u"connected: CHANNEL_EVENT_CONNECTED to the add-ins");
    connection.SetChannel(sName);
    Say(Connection(connection.Id()) + u" opened channel " + Printable(sName));
    if (connection.Send(Answer(EFrame::Accepted, nOptions)))
        return true;
    _Drop(connection.Id(), u"the session is gone");
    return false;
}

bool CSessionServer::_OnWrite(CConnection& connection, const vrdp::SFrame& frame)
{
    if (frame.data.empty()) {
        _Drop(connection.Id(), u"it wrote an empty block");
        return false;
    }
    const std::u16string sChannel = Printable(connection.Channel());
    if (m_oChannels.Deliver(connection.Channel(), frame.data))
        Say(u"channel " + sChannel + u": " + Bytes(frame.data.size()) + u" from the session to the add-in");
    else
        Say(u"channel " + sChannel + u" is not open: " + vtool::Decimal(frame.data.size()) +
            u" bytes from the session dropped");
    return true;
}

bool CSessionServer::_OnRead(CConnection& connection, const vrdp::SFrame& frame)
{
    const std::string& sChannel = connection.Channel();
    // Requests made earlier come first.
    const bool bBehind = std::any_of(m_dqWaiting.begin(), m_dqWaiting.end(),
                                     [&](const SWaitingRead& waiting) { return waiting.sChannel == sChannel; });
    SChunk chunk;
    if (!bBehind && m_oChannels.TakeChunk(sChannel, chunk))
        return _SendChunk(connection, chunk);
    const uint32_t nWaitMs = std::min(frame.nA, vrdp::kMaxReadWaitMs);
    if (nWaitMs > 0) {
        connection.SetWaiting(true);
        m_dqWaiting.push_back({connection.Id(), sChannel, Clock::now() + std::chrono::milliseconds(nWaitMs)});
        return true;
    }
    return _SendNothing(connection);
}

bool CSessionServer::_SendNothing(CConnection& connection)
{
    if (connection.Send(Answer(EFrame::Nothing)))
        return true;
    _Drop(connection.Id(), u"the session is gone");
    return false;
}

bool CSessionServer::_SendChunk(CConnection& connection, const SChunk& chunk)
{
    SFrame frame = Answer(EFrame::Chunk, chunk.nTotal);
    frame.nB = chunk.nFlags;
    frame.data = chunk.data;
    if (connection.Send(frame))
        return true;
    _Drop(connection.Id(), u"the session is gone");
    return false;
}

void CSessionServer::ReportWrites()
{
    for (const SWriteDone& done : m_oChannels.CompleteWrites())
        Say(u"channel " + Printable(done.sChannel) + u": " + Bytes(done.nLength) +
            u" from the add-in queued for the session; CHANNEL_EVENT_WRITE_COMPLETE");
}

void CSessionServer::_AnswerWaiting(Clock::time_point now)
{
    // Chosen first, oldest request first, and answered after: answering may
    // drop a connection, which changes the list.
    std::vector<std::pair<unsigned, std::optional<SChunk>>> answers;
    for (auto it = m_dqWaiting.begin(); it != m_dqWaiting.end();) {
        SChunk chunk;
        if (m_oChannels.TakeChunk(it->sChannel, chunk))
            answers.emplace_back(it->nConnection, std::move(chunk));
        else if (now >= it->deadline)
            answers.emplace_back(it->nConnection, std::nullopt);
        else {
            ++it;
            continue;
        }
        it = m_dqWaiting.erase(it);
    }
    for (auto& [nId, chunk] : answers) {
        const auto it = m_mapConnections.find(nId);
        if (it == m_mapConnections.end())
            continue;
        CConnection& connection = *it->second;
        connection.SetWaiting(false);
        if (chunk ? _SendChunk(connection, *chunk) : _SendNothing(connection))
            _TakeFrames(connection);  // what it sent meanwhile
    }
}

void CSessionServer::_Drop(unsigned nConnection, const std::u16string& sWhy)
{
    Say(Connection(nConnection) + u" closed: " + sWhy);
    m_dqWaiting.erase(std::remove_if(m_dqWaiting.begin(), m_dqWaiting.end(),
                                     [&](const SWaitingRead& waiting) {
                                         return waiting.nConnection == nConnection;
                                     }),
                      m_dqWaiting.end());
    m_mapConnections.erase(nConnection);
}

}  // namespace vrdpc
