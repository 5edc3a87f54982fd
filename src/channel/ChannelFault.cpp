#include "channel/ChannelFault.h"

const char* DescribeChannelFault(EChannelFault eFault)
{
    switch (eFault) {
    case EChannelFault::None: return "no fault";
    case EChannelFault::Empty: return "empty message";
    case EChannelFault::TooShort: return "too short";
    case EChannelFault::LengthField: return "length field does not match the envelope size";
    case EChannelFault::Integrity: return "integrity check failed (wrong key or altered bytes)";
    case EChannelFault::HeaderLength: return "header field: header length is not 32";
    case EChannelFault::EncryptedFlag: return "header field: encrypted flag is not 1";
    case EChannelFault::CompressedFlag: return "header field: compressed flag is not 1";
    case EChannelFault::NoCommand: return "header field: command code is 0";
    case EChannelFault::NoProcessId: return "header field: calling process ID is 0";
    case EChannelFault::NoImage: return "header field: image width or height is 0";
    case EChannelFault::TooLarge: return "header field: image larger than 400000 bytes";
    case EChannelFault::Inflation: return "inflation: image stream does not inflate to the announced size";
    }
    return "unknown fault";
}
