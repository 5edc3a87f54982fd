// CVCData::Deserialize past the integrity check: the input is a message's
// plaintext (header and image stream), sealed under a fixed seed first, so
// that mutations reach the header and inflation code.
#include <cstddef>
#include <cstdint>

#include "FuzzKit.h"
#include "channel/C3DESEncode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    CMyByteArray envelope;
    if (!C3DESEncode::SerializeWithSeed(fuzzkit::Bytes(pData, nSize), envelope, fuzzkit::kSealSeed))
        return 0;
    fuzzkit::DeserializeAndCheck(envelope);
    return 0;
}
