#include "sim/rdp/StreamChunks.h"

#include <algorithm>

#include "pal/wts/channel.h"

namespace vrdp {
namespace {

// The first 4 bytes of a message count what follows its first 8.
constexpr uint32_t kEnvelopeHead = 8;

uint32_t LoadLE32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void AppendLE32(std::vector<uint8_t>& out, uint32_t nValue)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(nValue >> (8 * i)));
}

}  // namespace

void CStreamChunks::Feed(const uint8_t* pData, size_t nLength)
{
    // What is left is less than a chunk: moving it keeps the buffer small.
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(m_nOffset));
    m_nOffset = 0;
    m_pending.insert(m_pending.end(), pData, pData + nLength);
}

CStreamChunks::ETake CStreamChunks::Take(std::vector<uint8_t>& chunk)
{
    if (m_bMalformed)
        return ETake::Malformed;
    const size_t nAvailable = m_pending.size() - m_nOffset;
    if (m_nTotal == 0) {
        if (nAvailable < 4)
            return ETake::Incomplete;
        const uint32_t nField = LoadLE32(m_pending.data() + m_nOffset);
        if (m_nMaxMessage < kEnvelopeHead || nField > m_nMaxMessage - kEnvelopeHead) {
            m_bMalformed = true;
            return ETake::Malformed;
        }
        m_nTotal = nField + kEnvelopeHead;
        m_nDone = 0;
    }
    const uint32_t nData = std::min<uint32_t>(CHANNEL_CHUNK_LENGTH, m_nTotal - m_nDone);
    if (nAvailable < nData)
        return ETake::Incomplete;
    uint32_t nFlags = m_nDone == 0 ? CHANNEL_FLAG_FIRST : CHANNEL_FLAG_MIDDLE;
    if (m_nDone + nData == m_nTotal)
        nFlags |= CHANNEL_FLAG_LAST;
    chunk.clear();
    AppendLE32(chunk, m_nTotal);
    AppendLE32(chunk, nFlags);
    const auto itStart = m_pending.begin() + static_cast<std::ptrdiff_t>(m_nOffset);
    chunk.insert(chunk.end(), itStart, itStart + nData);
    m_nOffset += nData;
    m_nDone += nData;
    if (m_nDone == m_nTotal)
        m_nTotal = 0;
    return ETake::Chunk;
}

}  // namespace vrdp
