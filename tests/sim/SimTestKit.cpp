#include "SimTestKit.h"

#include <cstdlib>

#include "sim/common/CRegValues.h"
#include "sim/veskbit2/VeskBitSimControl.h"

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
    std::vector<uint32_t> palette = parts.m_vPalette;
    if (palette.empty()) {
        for (uint32_t n = 0; n < 256; ++n)
            palette.push_back(n << 16 | n << 8 | n);
    }
    const uint32_t width = static_cast<uint32_t>(parts.m_nWidth);
    const uint32_t rows = static_cast<uint32_t>(std::abs(parts.m_nHeight));
    const uint32_t stride = (width + 3) / 4 * 4;
    const uint32_t offset = 14 + parts.m_nInfoBytes + 4 * static_cast<uint32_t>(palette.size());
    std::string bytes = "BM";
    _Put(bytes, offset + stride * rows, 4);
    _Put(bytes, 0, 4);
    _Put(bytes, offset, 4);
    std::string info;
    _Put(info, parts.m_nInfoBytes, 4);
    _Put(info, static_cast<uint32_t>(parts.m_nWidth), 4);
    _Put(info, static_cast<uint32_t>(parts.m_nHeight), 4);
    _Put(info, parts.m_nPlanes, 2);
    _Put(info, parts.m_nBits, 2);
    _Put(info, parts.m_nCompression, 4);
    _Put(info, stride * rows, 4);
    _Put(info, 2835, 4);
    _Put(info, 2835, 4);
    _Put(info, parts.m_nColoursUsed, 4);
    _Put(info, 0, 4);
    info.resize(parts.m_nInfoBytes, '\0');
    bytes += info;
    for (const uint32_t colour : palette)
        _Put(bytes, colour, 4);
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

void SetSimMultiString(const char16_t* name, const std::vector<std::u16string>& values)
{
    std::vector<WString> wide;
    for (const std::u16string& value : values)
        wide.push_back(_Wide(value));
    ASSERT_EQ(_Key().WriteMultiString(_Wide(name), wide), ERROR_SUCCESS);
}

std::optional<std::vector<std::u16string>> SimMultiString(const char16_t* name)
{
    const auto values = _Key().ReadMultiString(_Wide(name));
    if (!values)
        return std::nullopt;
    std::vector<std::u16string> texts;
    for (const WString& value : *values)
        texts.emplace_back(value.begin(), value.end());
    return texts;
}

std::optional<uint32_t> SimDword(const char16_t* name) { return _Key().ReadDword(_Wide(name)); }

SimTest::SimTest() { VeskBitSimReset(); }

SimTest::~SimTest() { VeskBitSimReset(); }

std::string SimTest::WriteScratch(const std::string& name, const std::string& bytes)
{
    const std::string path = m_machine.Path(name);
    testkit::WriteFile(path, bytes);
    return path;
}

}  // namespace simtest
