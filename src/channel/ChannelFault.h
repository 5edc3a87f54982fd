// Why a received channel message was refused. The channel itself only needs
// success or failure; the reason is for the tools and the tests.
#pragma once

enum class EChannelFault {
    None,
    Empty,           // no bytes at all
    TooShort,        // envelope or plaintext below its minimum size
    LengthField,     // the envelope's length field disagrees with its size
    Integrity,       // decryption, padding or digest check failed
    HeaderLength,    // header length field is not 32
    EncryptedFlag,   // protection flag is not 1
    CompressedFlag,  // compression flag is not 1
    NoCommand,       // command code 0
    NoProcessId,     // calling process ID 0
    NoImage,         // image message with a zero dimension
    TooLarge,        // image announcement above the bound or overflowing
    Inflation,       // the image stream does not inflate to the announced size
};

// A short English phrase, e.g. "integrity check failed".
const char* DescribeChannelFault(EChannelFault eFault);
