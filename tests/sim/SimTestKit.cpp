#include "SimTestKit.h"

#include <cstdlib>

#include "sim/common/CRegValues.h"
#include "sim/veskbit2/VeskBitSimControl.h"
#include "support/Win32.h"

namespace simtest {
namespace {

void _Put(std::string& bytes, uint32_t value, int count)
{
    for (int i = 0; i < count; ++i)
        bytes += static_cast<char>(value >> (8 * i));
}

vsim::CRegValues _Key()
{
    return vsim::CRegValues(HKEY_LOCAL_MACHINE, W("SOFTWARE\\vesk\\Simulator\\veskbit"), true);
}

WString _Wide(const std::u16string& text) { return WString(text.begin(), text.end()); }

}  // namespace

std::string Pgm(uint32_t width, uint32_t height, uint32_t maxval, const Pixels& pixels)
{
    return "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n" +
           std::to_string(maxval) + "\n" + std::string(pixels.begin(), pixels.end());
}

std::string Bmp(const CBmpParts& parts)
{
    const uint32_t width = static_cast<uint32_t>(parts.m_nWidth);
    const uint32_t rows = static_cast<uint32_t>(std::abs(parts.m_nHeight));
    const uint32_t stride = (width + 3) / 4 * 4;
    const uint32_t offset = 14 + parts.m_nInfoBytes + 4 * 256;
    std::string bytes = "BM";
    _Put(bytes, offset + stride * rows, 4);
    _Put(bytes, 0, 4);
    _Put(bytes, offset, 4);
    std::string info;
    for (const uint32_t field : {parts.m_nInfoBytes, width, uint32_t(parts.m_nHeight)})
        _Put(info, field, 4);
    _Put(info, 1, 2);
    _Put(info, parts.m_nBits, 2);
    for (const uint32_t field : {parts.m_nCompression, stride * rows, 2835u, 2835u,
                                 parts.m_nColoursUsed, 0u})
        _Put(info, field, 4);
    info.resize(parts.m_nInfoBytes, '\0');
    bytes += info;
    for (uint32_t n = 0; n < 256; ++n)
        _Put(bytes, n * 0x010101u, 4);
    for (uint32_t r = 0; r < rows; ++r) {
        const uint32_t y = parts.m_nHeight < 0 ? r : rows - 1 - r;
        std::string row(stride, '\0');
        for (uint32_t x = 0; x < width && size_t(y) * width + x < parts.m_vPixels.size(); ++x)
            row[x] = static_cast<char>(parts.m_vPixels[size_t(y) * width + x]);
        bytes += row;
    }
    return bytes;
}

void SetSimDword(const char16_t* name, uint32_t value)
{
    ASSERT_EQ(_Key().WriteDword(_Wide(name), value), ERROR_SUCCESS);
}

void SetSimString(const char16_t* name, const std::u16string& value)
{
    ASSERT_EQ(_Key().WriteString(_Wide(name), _Wide(value)), ERROR_SUCCESS);
}

SimTest::SimTest() { VeskBitSimReset(); }

SimTest::~SimTest() { VeskBitSimReset(); }

std::string SimTest::WriteScratch(const std::string& name, const std::string& bytes)
{
    const std::string path = m_machine.Path(name);
    testkit::WriteFile(path, bytes);
    return path;
}

}  // namespace simtest
