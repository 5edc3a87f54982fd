// An 8-bit grey picture: 0 black to 255 white, rows top to bottom, no filler.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vsim {

class CGreyImage {
public:
    CGreyImage() = default;
    CGreyImage(uint32_t nWidth, uint32_t nHeight, uint8_t nFill);

    uint32_t GetWidth() const { return m_nWidth; }
    uint32_t GetHeight() const { return m_nHeight; }
    bool IsEmpty() const { return m_vPixels.empty(); }
    // No bounds check: x below the width, y below the height.
    uint8_t At(uint32_t x, uint32_t y) const { return m_vPixels[size_t(y) * m_nWidth + x]; }
    uint8_t& At(uint32_t x, uint32_t y) { return m_vPixels[size_t(y) * m_nWidth + x]; }
    const std::vector<uint8_t>& GetPixels() const { return m_vPixels; }

private:
    uint32_t m_nWidth = 0;
    uint32_t m_nHeight = 0;
    std::vector<uint8_t> m_vPixels;
};

// Centred in a frame of the given size without scaling, so that pixels stay
// exact: a smaller picture gets a border of nFill, a larger one loses its
// edges; an odd difference puts the smaller part left and on top.
CGreyImage FitCentred(const CGreyImage& image, uint32_t nWidth, uint32_t nHeight, uint8_t nFill);

}  // namespace vsim
