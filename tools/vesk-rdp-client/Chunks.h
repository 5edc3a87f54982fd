// A block on a static channel travels in chunks of at most
// CHANNEL_CHUNK_LENGTH bytes, the first flagged CHANNEL_FLAG_FIRST, the last
// CHANNEL_FLAG_LAST (a block of one chunk carries both).
#pragma once
#include <algorithm>
#include <cstddef>

#include "pal/wts/channel.h"

namespace vrdpc {

// Calls visit(offset, length, flags) for each chunk of a block of nTotal bytes.
template <class Visit>
void ForEachChunk(size_t nTotal, Visit visit)
{
    for (size_t nOffset = 0; nOffset < nTotal; nOffset += CHANNEL_CHUNK_LENGTH) {
        const size_t nLength = std::min<size_t>(CHANNEL_CHUNK_LENGTH, nTotal - nOffset);
        const unsigned nFlags = (nOffset == 0 ? CHANNEL_FLAG_FIRST : 0) |
                                (nOffset + nLength == nTotal ? CHANNEL_FLAG_LAST : 0);
        visit(nOffset, nLength, nFlags);
    }
}

inline size_t CountChunks(size_t nTotal)
{
    return (nTotal + CHANNEL_CHUNK_LENGTH - 1) / CHANNEL_CHUNK_LENGTH;
}

}  // namespace vrdpc
