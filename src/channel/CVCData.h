// One message of the Remote Desktop channel: a 32-byte header naming a code
// and the asking process, and for the image event the zlib-compressed pixels,
// protected as a whole by C3DESEncode.
#pragma once
#include <cstdint>

#include "channel/ChannelFault.h"
#include "support/CMyByteArray.h"

constexpr uint32_t VC_HEADER_SIZE = 32;
constexpr uint32_t VC_CMD_GET_IMAGE = 128;
constexpr uint32_t VC_CMD_RELEASE = 129;
constexpr uint32_t VC_IMAGE_EVENT = 5501;  // FS_EVENT_IMAGE, the only code with a payload

class CVCData {
public:
    // The session side copies images into a buffer of this size; a larger
    // announcement is refused before anything is allocated for it.
    static constexpr uint32_t kMaxImageBytes = 400000;

    CVCData() = default;

    bool SetImage(const CMyByteArray& pixels, uint32_t nImageWidth, uint32_t nImageHeight);

    uint32_t GetCmd() const { return nCmd; }
    void SetCmd(uint32_t nValue) { nCmd = nValue; }
    uint32_t GetReserved() const { return nReserved; }
    void SetReserved(uint32_t nValue) { nReserved = nValue; }
    uint32_t GetCallingProcessID() const { return nCallingProcessID; }
    void SetCallingProcessID(uint32_t nValue) { nCallingProcessID = nValue; }
    uint32_t GetWidth() const { return nWidth; }
    uint32_t GetHeight() const { return nHeight; }
    const CMyByteArray& GetData() const { return m_cData; }

    // Envelope of this message under a fresh seed, or under the given one
    // (reproducible output for tools and tests).
    bool Serialize(CMyByteArray& output) const;
    bool SerializeWithSeed(CMyByteArray& output, uint32_t nSeed) const;
    // pFault, when given, receives the reason of a refusal.
    bool Deserialize(const CMyByteArray& input, EChannelFault* pFault = nullptr);
    // The second half of Deserialize: a plaintext whose envelope was already
    // opened and verified, for callers that also need the plaintext itself.
    bool DeserializePlaintext(const CMyByteArray& plain, EChannelFault* pFault = nullptr);

    bool SerializeHeader(CMyByteArray& output) const;
    bool DeserializeHeader(const CMyByteArray& input);

    static bool Compress(const CMyByteArray& input, CMyByteArray& output);
    // Inflates into the output's current size and, unlike plain zlib use,
    // also fails when the stream ends short of filling it.
    static bool Uncompress(const CMyByteArray& input, CMyByteArray& output);

private:
    bool _BuildPlaintext(CMyByteArray& plain) const;
    EChannelFault _ReadHeader(const uint8_t* pHeader);
    EChannelFault _ReadImage(const uint8_t* pStream, uint32_t nStreamLen);

    uint32_t nReserved = 0;
    uint32_t nCmd = 0;
    uint32_t nEncrypted = 1;
    uint32_t nCompressed = 1;
    CMyByteArray m_cData;
    uint32_t nWidth = 0;
    uint32_t nHeight = 0;
    uint32_t nCallingProcessID = 0;
};
