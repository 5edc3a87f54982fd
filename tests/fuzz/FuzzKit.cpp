#include "FuzzKit.h"

#include <zlib.h>

#include <cstring>

#include "channel/C3DESEncode.h"

namespace fuzzkit {

CMyByteArray Bytes(const uint8_t* pData, size_t nSize)
{
    CMyByteArray bytes(static_cast<uint32_t>(nSize));
    if (nSize)
        std::memcpy(bytes.GetData(), pData, nSize);
    return bytes;
}

bool SameBytes(const CMyByteArray& a, const CMyByteArray& b)
{
    return a.GetSize() == b.GetSize() &&
           (a.IsEmpty() || std::memcmp(a.GetData(), b.GetData(), a.GetSize()) == 0);
}

namespace {

void CheckImage(const CVCData& message)
{
    const uint64_t nPixels = uint64_t{message.GetWidth()} * message.GetHeight();
    Require(nPixels != 0 && nPixels <= CVCData::kMaxImageBytes);
    Require(message.GetData().GetSize() == nPixels);
}

// Sealed again under another seed and read back: the same header and pixels.
// Only images too small for the peers' twice-the-size stream buffer may fail
// to seal; zlib promises room for any input of compressBound bytes.
void CheckRoundTrip(const CVCData& message)
{
    CMyByteArray envelope;
    if (!message.SerializeWithSeed(envelope, kSealSeed + 1)) {
        const uint32_t nPixels = message.GetData().GetSize();
        Require(message.GetCmd() == VC_IMAGE_EVENT && compressBound(nPixels) > 2 * uLong{nPixels});
        return;
    }
    CVCData copy;
    Require(copy.Deserialize(envelope));
    CMyByteArray header;
    CMyByteArray copyHeader;
    Require(message.SerializeHeader(header) && copy.SerializeHeader(copyHeader));
    Require(SameBytes(header, copyHeader));
    Require(SameBytes(message.GetData(), copy.GetData()));
}

}  // namespace

void CheckAccepted(const CVCData& message, const CMyByteArray& plain)
{
    Require(message.GetCmd() != 0 && message.GetCallingProcessID() != 0);
    CMyByteArray header;
    Require(message.SerializeHeader(header) && plain.GetSize() >= header.GetSize());
    Require(std::memcmp(header.GetData(), plain.GetData(), header.GetSize()) == 0);
    if (message.GetCmd() == VC_IMAGE_EVENT)
        CheckImage(message);
    else
        Require(message.GetData().IsEmpty());
    CheckRoundTrip(message);
}

void DeserializeAndCheck(const CMyByteArray& envelope)
{
    CVCData message;
    EChannelFault eFault = EChannelFault::None;
    const bool bAccepted = message.Deserialize(envelope, &eFault);
    Require(bAccepted == (eFault == EChannelFault::None));
    if (!bAccepted)
        return;
    CMyByteArray plain;
    Require(C3DESEncode::Deserialize(envelope, plain));
    CheckAccepted(message, plain);
}

}  // namespace fuzzkit
