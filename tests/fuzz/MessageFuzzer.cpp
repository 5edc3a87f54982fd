// CVCData::Deserialize on raw bytes: envelope, header and image stream as a
// peer could send them.
#include <cstddef>
#include <cstdint>

#include "FuzzKit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    fuzzkit::DeserializeAndCheck(fuzzkit::Bytes(pData, nSize));
    return 0;
}
