// vesk-channel as a child process, and envelopes built in the test itself.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "channel/C3DESEncode.h"
#include "channel/CVCData.h"
#include "common/TestMachine.h"
#include "support/LittleEndian.h"

namespace channeltest {

inline CMyByteArray Array(const std::string& bytes)
{
    CMyByteArray array(static_cast<uint32_t>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), array.GetData());
    return array;
}

inline std::string String(const CMyByteArray& array)
{
    return std::string(reinterpret_cast<const char*>(array.GetData()), array.GetSize());
}

// The value of the output line "name: value"; empty when there is none.
inline std::string Field(const std::string& out, const std::string& name)
{
    const std::string text = "\n" + out;
    const size_t nAt = text.find("\n" + name + ": ");
    if (nAt == std::string::npos)
        return std::string();
    const size_t nValue = nAt + name.size() + 3;
    return text.substr(nValue, text.find('\n', nValue) - nValue);
}

// A message's header fields in wire order; the defaults pass every check.
struct CHeader {
    uint32_t m_vFields[8] = {32, 1, 1, 128, 0, 0, 0, 9};
    enum { kLength, kEncrypted, kCompressed, kCmd, kReserved, kWidth, kHeight, kPid };

    CHeader& Set(int nField, uint32_t nValue)
    {
        m_vFields[nField] = nValue;
        return *this;
    }
    std::string Bytes() const
    {
        std::string bytes(32, '\0');
        for (size_t i = 0; i < 8; ++i)
            StoreLE32(reinterpret_cast<uint8_t*>(&bytes[4 * i]), m_vFields[i]);
        return bytes;
    }
};

// Any plaintext in a valid envelope, and the plaintext back out of one.
inline std::string Seal(const std::string& plain)
{
    CMyByteArray envelope;
    EXPECT_TRUE(C3DESEncode::SerializeWithSeed(Array(plain), envelope, 1));
    return String(envelope);
}

inline std::string Unseal(const std::string& envelope)
{
    CMyByteArray plain;
    EXPECT_TRUE(C3DESEncode::Deserialize(Array(envelope), plain));
    return String(plain);
}

// A binary greymap whose pixels differ from row to row and column to column.
inline std::string PatternPgm(uint32_t nWidth, uint32_t nHeight)
{
    std::string pgm = "P5\n" + std::to_string(nWidth) + " " + std::to_string(nHeight) + "\n255\n";
    for (uint32_t i = 0; i < nWidth * nHeight; ++i)
        pgm += static_cast<char>(i / nWidth * 16 + i % nWidth);
    return pgm;
}

inline std::vector<std::string> With(std::vector<std::string> args,
                                     std::initializer_list<std::string> more)
{
    args.insert(args.end(), more);
    return args;
}

class ChannelToolTest : public ::testing::Test {
protected:
    testkit::ProcessResult Channel(std::vector<std::string> args,
                                   const std::string& input = std::string()) const
    {
        args.insert(args.begin(), VESK_CHANNEL_EXE);
        return testkit::RunProcess(args, {}, input);
    }
    std::string Path(const std::string& name) const { return m_machine.Path(name); }

    testkit::CScratchMachine m_machine;
};

}  // namespace channeltest
