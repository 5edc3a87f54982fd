// Shared by the channel fuzz targets and their corpus writer.
#pragma once
#include <cstddef>
#include <cstdint>

#include "channel/CVCData.h"
#include "support/CMyByteArray.h"

namespace fuzzkit {

// The seed under which the plaintext target seals its inputs.
constexpr uint32_t kSealSeed = 0x5EED0001;

// A crash libFuzzer records even where assertions are compiled out.
inline void Require(bool bHolds)
{
    if (!bHolds)
        __builtin_trap();
}

CMyByteArray Bytes(const uint8_t* pData, size_t nSize);
bool SameBytes(const CMyByteArray& a, const CMyByteArray& b);

// The invariants of a message that Deserialize accepted from an envelope
// whose plaintext was `plain`: its header reads back into the same bytes, an
// image fits its announced size and bound, and it survives another trip
// through the envelope.
void CheckAccepted(const CVCData& message, const CMyByteArray& plain);

// Deserializes an envelope into a fresh message; accepted messages are
// checked, and the fault must agree with the result either way.
void DeserializeAndCheck(const CMyByteArray& envelope);

}  // namespace fuzzkit
