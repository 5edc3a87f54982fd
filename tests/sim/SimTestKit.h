// Picture files built byte by byte, and a fixture on a scratch machine with
// the simulator reset around each test.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/TestMachine.h"

namespace simtest {

using Pixels = std::vector<uint8_t>;

std::string Pgm(uint32_t width, uint32_t height, uint32_t maxval, const Pixels& pixels);

// An 8-bit greyscale bitmap; pixels top row first, stored in the row order
// the height's sign asks for (negative: top-down).
struct CBmpParts {
    int32_t m_nWidth = 0;
    int32_t m_nHeight = 0;
    Pixels m_vPixels;
    uint32_t m_nInfoBytes = 40;
    uint32_t m_nBits = 8;
    uint32_t m_nCompression = 0;
    uint32_t m_nColoursUsed = 0;
};
std::string Bmp(const CBmpParts& parts);

// The simulator's machine-wide values, by their literal names so that a
// wrong name in the simulator shows.
void SetSimDword(const char16_t* name, uint32_t value);
void SetSimString(const char16_t* name, const std::u16string& value);

class SimTest : public ::testing::Test {
protected:
    SimTest();
    ~SimTest() override;
    std::string WriteScratch(const std::string& name, const std::string& bytes);

    testkit::CScratchMachine m_machine;
};

}  // namespace simtest
