// The stream between a session's WtsApi32 (libWtsApi32.so) and the stand-in
// Remote Desktop client (vesk-rdp-client), over the local socket that
// VESK_RDP_SESSION names. Every WTSVirtualChannelOpen is one connection; the
// client keeps one queue of chunks per channel for the whole session, and
// whichever connection asks first gets the next chunk, as handles of one
// session share the channel on Windows.
//
// A frame: four little-endian 32-bit words (type, a, b, data length), then
// the data. What the session sends, and what the client answers:
//   Hello  data = channel name      -> Accepted (a = the channel's CHANNEL_DEF
//                                      options) or Refused (a = Win32 error)
//   Write  data = one whole block   -> nothing; the client cuts it into chunks
//                                      of CHANNEL_CHUNK_LENGTH for the add-in
//   Read   a = time-out in ms       -> Chunk (a = total length of the block,
//                                      b = CHANNEL_FLAG_* flags, data = at most
//                                      CHANNEL_CHUNK_LENGTH bytes) or Nothing
//                                      when none came within the time-out
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vrdp {

enum class EFrame : uint32_t {
    Hello = 1,
    Accepted = 2,
    Refused = 3,
    Write = 4,
    Read = 5,
    Chunk = 6,
    Nothing = 7,
};

struct SFrame {
    EFrame eType = EFrame::Nothing;
    uint32_t nA = 0;
    uint32_t nB = 0;
    std::vector<uint8_t> data;
};

constexpr uint32_t kFrameHeaderBytes = 16;
// No block on this channel comes near it; a larger length is refused unread.
constexpr uint32_t kMaxFrameData = 4 * 1024 * 1024;
// The longest time-out a Read may ask the client to wait.
constexpr uint32_t kMaxReadWaitMs = 10000;

enum class ERecv { Frame, TimedOut, Closed, Malformed };

// The whole frame or false (the peer is gone); never blocks on a full socket
// for longer than nMilliseconds.
bool SendFrame(int fd, const SFrame& frame, int nMilliseconds);
// One frame within nMilliseconds (the whole frame must arrive in that time).
// Malformed: an unknown type or a data length over kMaxFrameData.
ERecv ReceiveFrame(int fd, SFrame& frame, int nMilliseconds);

// A connected stream socket to the client at `path`, or -1 (errno set).
int ConnectTo(const std::string& path);

// The frame as it goes on the wire (header and data), for a sender that
// queues its own bytes. The data must not pass kMaxFrameData.
std::vector<uint8_t> EncodeFrame(const SFrame& frame);

// For a reader that gathers bytes as they come: takes the first whole frame
// off the front of `bytes`. Incomplete: more bytes are needed (nothing is
// taken). Malformed as for ReceiveFrame, told from the header alone, so that
// no oversized frame is ever waited for.
enum class EParse { Frame, Incomplete, Malformed };
EParse TakeFrame(std::vector<uint8_t>& bytes, SFrame& frame);

}  // namespace vrdp
