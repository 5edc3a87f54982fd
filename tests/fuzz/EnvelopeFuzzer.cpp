// C3DESEncode::Deserialize on raw bytes. What it accepts must be an exact
// envelope: sealing the plaintext again under the same seed gives the input.
#include <cstddef>
#include <cstdint>

#include "FuzzKit.h"
#include "channel/C3DESEncode.h"
#include "support/LittleEndian.h"

using fuzzkit::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const CMyByteArray input = fuzzkit::Bytes(pData, nSize);
    CMyByteArray plain;
    EChannelFault eFault = EChannelFault::None;
    const bool bAccepted = C3DESEncode::Deserialize(input, plain, &eFault);
    Require(bAccepted == (eFault == EChannelFault::None));
    // Unverified plaintext must never reach the caller.
    if (!bAccepted) {
        Require(plain.IsEmpty());
        return 0;
    }
    CMyByteArray resealed;
    Require(C3DESEncode::SerializeWithSeed(plain, resealed, LoadLE32(pData + 4)));
    Require(fuzzkit::SameBytes(input, resealed));
    return 0;
}
