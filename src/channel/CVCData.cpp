#include "channel/CVCData.h"

#include <zlib.h>

#include <cstring>

#include "channel/C3DESEncode.h"
#include "support/Format.h"
#include "support/LittleEndian.h"
#include "support/Logging.h"

namespace {

constexpr int kCompressionLevel = 9;

// Header fields in wire order; the flags precede the code, unlike in memory.
enum EHeaderSlot : uint32_t {
    kSlotHeaderLen,
    kSlotEncrypted,
    kSlotCompressed,
    kSlotCmd,
    kSlotReserved,
    kSlotWidth,
    kSlotHeight,
    kSlotProcessId,
    kSlotCount
};
static_assert(kSlotCount * 4 == VC_HEADER_SIZE);

// Two decimals are plenty for a support engineer comparing images.
WString FormatRatio(uint32_t nOriginal, uint32_t nCompressed)
{
    const uint64_t nHundredths = (uint64_t{nOriginal} * 100 + nCompressed / 2) / nCompressed;
    return FormatDecimal(static_cast<int64_t>(nHundredths / 100)) + W(".") +
           FormatZeroPadded(static_cast<uint32_t>(nHundredths % 100), 2);
}

void LogRatio(uint32_t nOriginal, uint32_t nCompressed)
{
    if (!IsDebugEnabled())
        return;
    const WString sLine = Format(W("CVCData::Compress(): orig size: %u bytes. compressed size: "
                                   "%u bytes. Ratio: %s"),
                                 nOriginal, nCompressed, FormatRatio(nOriginal, nCompressed));
    LogDebug(sLine.c_str());
}

// Zero dimensions, a product that does not fit 32 bits or one above the
// session side's image buffer: refused before any allocation.
EChannelFault CheckDimensions(uint32_t nWidth, uint32_t nHeight)
{
    const uint64_t nBytes = uint64_t{nWidth} * nHeight;
    if (nBytes == 0)
        return EChannelFault::NoImage;
    if (nBytes > CVCData::kMaxImageBytes)
        return EChannelFault::TooLarge;
    return EChannelFault::None;
}

// Inflates exactly into the output's size; a stream that stops short would
// leave part of the image unwritten, one that runs on does not fit.
bool InflateExact(const uint8_t* pStream, uint32_t nStreamLen, CMyByteArray& output)
{
    if (nStreamLen == 0 || output.IsEmpty())
        return false;
    uLongf nInflated = output.GetSize();
    if (uncompress(output.GetData(), &nInflated, pStream, nStreamLen) != Z_OK ||
        nInflated != output.GetSize()) {
        output.RemoveAll();
        return false;
    }
    return true;
}

EChannelFault Report(EChannelFault eFault, EChannelFault* pFault)
{
    if (pFault)
        *pFault = eFault;
    return eFault;
}

}  // namespace

bool CVCData::SetImage(const CMyByteArray& pixels, uint32_t nImageWidth, uint32_t nImageHeight)
{
    if (pixels.IsEmpty() || nImageWidth == 0 || nImageHeight == 0 ||
        uint64_t{nImageWidth} * nImageHeight != pixels.GetSize())
        return false;
    m_cData = pixels;
    nWidth = nImageWidth;
    nHeight = nImageHeight;
    return true;
}

bool CVCData::SerializeHeader(CMyByteArray& output) const
{
    output.SetSize(VC_HEADER_SIZE);
    uint32_t values[kSlotCount] = {};
    values[kSlotHeaderLen] = VC_HEADER_SIZE;
    values[kSlotEncrypted] = nEncrypted;
    values[kSlotCompressed] = nCompressed;
    values[kSlotCmd] = nCmd;
    values[kSlotReserved] = nReserved;
    values[kSlotWidth] = nWidth;
    values[kSlotHeight] = nHeight;
    values[kSlotProcessId] = nCallingProcessID;
    for (uint32_t i = 0; i < kSlotCount; ++i)
        StoreLE32(output.GetData() + 4 * i, values[i]);
    return true;
}

bool CVCData::_BuildPlaintext(CMyByteArray& plain) const
{
    if (nCmd == 0 || !SerializeHeader(plain))
        return false;
    if (nCmd != VC_IMAGE_EVENT)
        return true;
    if (m_cData.IsEmpty() || uint64_t{nWidth} * nHeight != m_cData.GetSize())
        return false;
    CMyByteArray compressed;
    if (!Compress(m_cData, compressed))
        return false;
    plain.SetSize(VC_HEADER_SIZE + compressed.GetSize());
    std::memcpy(plain.GetData() + VC_HEADER_SIZE, compressed.GetData(), compressed.GetSize());
    return true;
}

bool CVCData::Serialize(CMyByteArray& output) const
{
    output.RemoveAll();
    CMyByteArray plain;
    return _BuildPlaintext(plain) && C3DESEncode::Serialize(plain, output);
}

bool CVCData::SerializeWithSeed(CMyByteArray& output, uint32_t nSeed) const
{
    output.RemoveAll();
    CMyByteArray plain;
    return _BuildPlaintext(plain) && C3DESEncode::SerializeWithSeed(plain, output, nSeed);
}

EChannelFault CVCData::_ReadHeader(const uint8_t* pHeader)
{
    uint32_t values[kSlotCount];
    for (uint32_t i = 0; i < kSlotCount; ++i)
        values[i] = LoadLE32(pHeader + 4 * i);
    if (values[kSlotHeaderLen] != VC_HEADER_SIZE)
        return EChannelFault::HeaderLength;
    if (values[kSlotEncrypted] != 1)
        return EChannelFault::EncryptedFlag;
    if (values[kSlotCompressed] != 1)
        return EChannelFault::CompressedFlag;
    if (values[kSlotCmd] == 0)
        return EChannelFault::NoCommand;
    if (values[kSlotProcessId] == 0)
        return EChannelFault::NoProcessId;
    nEncrypted = values[kSlotEncrypted];
    nCompressed = values[kSlotCompressed];
    nCmd = values[kSlotCmd];
    nReserved = values[kSlotReserved];
    nWidth = values[kSlotWidth];
    nHeight = values[kSlotHeight];
    nCallingProcessID = values[kSlotProcessId];
    return EChannelFault::None;
}

bool CVCData::DeserializeHeader(const CMyByteArray& input)
{
    return input.GetSize() >= VC_HEADER_SIZE &&
           _ReadHeader(input.GetData()) == EChannelFault::None;
}

EChannelFault CVCData::_ReadImage(const uint8_t* pStream, uint32_t nStreamLen)
{
    const EChannelFault eDimensions = CheckDimensions(nWidth, nHeight);
    if (eDimensions != EChannelFault::None)
        return eDimensions;
    CMyByteArray pixels(nWidth * nHeight);
    if (!InflateExact(pStream, nStreamLen, pixels))
        return EChannelFault::Inflation;
    m_cData.Swap(pixels);
    return EChannelFault::None;
}

bool CVCData::Deserialize(const CMyByteArray& input, EChannelFault* pFault)
{
    Report(EChannelFault::None, pFault);
    if (input.IsEmpty())
        return Report(EChannelFault::Empty, pFault), false;
    CMyByteArray plain;
    return C3DESEncode::Deserialize(input, plain, pFault) && DeserializePlaintext(plain, pFault);
}

bool CVCData::DeserializePlaintext(const CMyByteArray& plain, EChannelFault* pFault)
{
    if (plain.GetSize() < VC_HEADER_SIZE)
        return Report(EChannelFault::TooShort, pFault), false;
    // Bytes after a header-only message are ignored.
    const uint8_t* pPlain = plain.GetData();
    if (Report(_ReadHeader(pPlain), pFault) != EChannelFault::None)
        return false;
    if (nCmd != VC_IMAGE_EVENT)
        return true;
    return Report(_ReadImage(pPlain + VC_HEADER_SIZE, plain.GetSize() - VC_HEADER_SIZE),
                  pFault) == EChannelFault::None;
}

bool CVCData::Compress(const CMyByteArray& input, CMyByteArray& output)
{
    output.RemoveAll();
    const uint32_t nInput = input.GetSize();
    // At most twice the input, so a tiny input that does not fit there fails
    // as on every peer; zlib's bound is enough for the rest and saves memory.
    if (nInput == 0 || nInput > UINT32_MAX / 2)
        return false;
    const uLong nBound = compressBound(nInput);
    output.SetSize(static_cast<uint32_t>(nBound < 2 * uLong{nInput} ? nBound : 2 * nInput));
    uLongf nCompressed = output.GetSize();
    if (compress2(output.GetData(), &nCompressed, input.GetData(), nInput, kCompressionLevel) !=
        Z_OK) {
        output.RemoveAll();
        return false;
    }
    output.SetSize(static_cast<uint32_t>(nCompressed));
    LogRatio(nInput, static_cast<uint32_t>(nCompressed));
    return true;
}

bool CVCData::Uncompress(const CMyByteArray& input, CMyByteArray& output)
{
    return InflateExact(input.GetData(), input.GetSize(), output);
}
