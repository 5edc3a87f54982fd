// Picture files built byte by byte, the simulator's registry values by their
// literal names (so that a wrong name in the simulator shows), and a fixture
// on a scratch machine with the simulator reset around each test.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/TestMachine.h"
#include "support/Win32.h"

namespace simtest {

using Pixels = std::vector<uint8_t>;

std::string Pgm(uint32_t width, uint32_t height, uint32_t maxval, const Pixels& pixels);

// An 8-bit bitmap; pixels (palette indices) are given top row first and
// stored in the row order the height's sign asks for.
struct CBmpParts {
    int32_t m_nWidth = 0;
    int32_t m_nHeight = 0;  // negative: top-down
    Pixels m_vPixels;
    std::vector<uint32_t> m_vPalette;  // 0x00RRGGBB; empty: 256 greys
    uint32_t m_nInfoBytes = 40;
    uint32_t m_nBits = 8;
    uint32_t m_nPlanes = 1;
    uint32_t m_nCompression = 0;
    uint32_t m_nColoursUsed = 0;  // as stored
};
std::string Bmp(const CBmpParts& parts);

// HKLM\SOFTWARE\vesk\Simulator\veskbit, 64-bit view.
void SetSimDword(const char16_t* name, uint32_t value);
void SetSimString(const char16_t* name, const std::u16string& value);
void SetSimMultiString(const char16_t* name, const std::vector<std::u16string>& values);
// Empty when absent or of another type.
std::optional<std::vector<std::u16string>> SimMultiString(const char16_t* name);
std::optional<uint32_t> SimDword(const char16_t* name);

class SimTest : public ::testing::Test {
protected:
    SimTest();
    ~SimTest() override;

    std::string WriteScratch(const std::string& name, const std::string& bytes);

    testkit::CScratchMachine m_machine;
};

}  // namespace simtest
