// xrdp hands the session side a channel's data as a plain byte stream: no
// CHANNEL_PDU_HEADER and no chunk boundaries, whatever the channel's options.
// Every message on our channel begins with the little-endian length of what
// follows its first 8 bytes, so the stream can be cut again into the chunks
// of CHANNEL_CHUNK_LENGTH a Windows session reads, each behind its header
// (the message's total length, CHANNEL_FLAG_FIRST/LAST).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vrdp {

class CStreamChunks {
public:
    // A message announced beyond nMaxMessage bytes is refused unread: the
    // stream cannot be followed past it.
    explicit CStreamChunks(uint32_t nMaxMessage) : m_nMaxMessage(nMaxMessage) {}

    void Feed(const uint8_t* pData, size_t nLength);

    enum class ETake { Chunk, Incomplete, Malformed };
    // The next whole chunk, header first; Incomplete leaves everything in
    // place. Only Incomplete asks for more bytes, so at most one chunk and
    // one delivery are ever held.
    ETake Take(std::vector<uint8_t>& chunk);

    // Part of a message has come and the rest is due.
    bool InMessage() const { return m_nTotal != 0 || m_nOffset < m_pending.size(); }

private:
    const uint32_t m_nMaxMessage;
    std::vector<uint8_t> m_pending;
    size_t m_nOffset = 0;
    uint32_t m_nTotal = 0;  // of the message being cut, 0 between messages
    uint32_t m_nDone = 0;
    bool m_bMalformed = false;
};

}  // namespace vrdp
