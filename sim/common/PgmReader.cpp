// Netpbm grey maps: "P5" binary or "P2" text, maxval up to 255 (scaled to
// 0-255); a file holding several pictures gives its first.
#include <cctype>
#include <utility>

#include "sim/common/ImageFormats.h"

namespace vsim {
namespace {

constexpr uint32_t kMaxNumber = 1u << 30;  // far beyond any valid field

class CPgmCursor {
public:
    explicit CPgmCursor(const std::string& bytes) : m_sBytes(bytes) {}

    // Whitespace and "#" comments up to the next token.
    void SkipSpace()
    {
        while (m_nPos < m_sBytes.size()) {
            const char c = m_sBytes[m_nPos];
            if (c == '#') {
                while (m_nPos < m_sBytes.size() && !_IsLineEnd(m_sBytes[m_nPos]))
                    ++m_nPos;
            } else if (_IsSpace(c)) {
                ++m_nPos;
            } else {
                return;
            }
        }
    }

    bool Number(uint32_t& nValue)
    {
        SkipSpace();
        const size_t nStart = m_nPos;
        uint64_t nResult = 0;
        while (m_nPos < m_sBytes.size() && _IsDigit(m_sBytes[m_nPos])) {
            nResult = nResult * 10 + uint64_t(m_sBytes[m_nPos++] - '0');
            if (nResult > kMaxNumber)
                return false;
        }
        nValue = static_cast<uint32_t>(nResult);
        return m_nPos > nStart;
    }

    // The one whitespace byte between maxval and binary data.
    bool EndOfHeader()
    {
        if (m_nPos >= m_sBytes.size() || !_IsSpace(m_sBytes[m_nPos]))
            return false;
        ++m_nPos;
        return true;
    }

    size_t Position() const { return m_nPos; }
    void Seek(size_t nPos) { m_nPos = nPos; }

private:
    static bool _IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
    static bool _IsDigit(char c) { return c >= '0' && c <= '9'; }
    static bool _IsLineEnd(char c) { return c == '\n' || c == '\r'; }

    const std::string& m_sBytes;
    size_t m_nPos = 0;
};

bool _Fail(std::string& why, const std::string& sProblem)
{
    why = "PGM: " + sProblem;
    return false;
}

uint8_t _Scaled(uint32_t nValue, uint32_t nMaxval)
{
    return static_cast<uint8_t>((nValue * 255 + nMaxval / 2) / nMaxval);
}

// A sample above maxval means the file is not what it says: refused, not
// clamped into a picture that was never taken.
bool _AboveMaxval(uint32_t nValue, uint32_t nMaxval, size_t nPixel, std::string& why)
{
    if (nValue <= nMaxval)
        return false;
    why = "PGM: pixel " + std::to_string(nPixel) + " is " + std::to_string(nValue) +
          ", above the maxval " + std::to_string(nMaxval);
    return true;
}

bool _ReadBinary(const std::string& bytes, size_t nStart, uint32_t nMaxval, CGreyImage& image,
                 std::string& why)
{
    size_t nPos = nStart;
    for (uint32_t y = 0; y < image.GetHeight(); ++y) {
        for (uint32_t x = 0; x < image.GetWidth(); ++x, ++nPos) {
            const uint32_t nValue = static_cast<unsigned char>(bytes[nPos]);
            if (_AboveMaxval(nValue, nMaxval, nPos - nStart, why))
                return false;
            image.At(x, y) = _Scaled(nValue, nMaxval);
        }
    }
    return true;
}

bool _ReadText(CPgmCursor& cursor, uint32_t nMaxval, CGreyImage& image, std::string& why)
{
    for (uint32_t y = 0; y < image.GetHeight(); ++y) {
        for (uint32_t x = 0; x < image.GetWidth(); ++x) {
            uint32_t nValue = 0;
            const size_t nPixel = size_t(y) * image.GetWidth() + x;
            if (!cursor.Number(nValue))
                return _Fail(why, "pixel " + std::to_string(nPixel) + " is missing or not a number");
            if (_AboveMaxval(nValue, nMaxval, nPixel, why))
                return false;
            image.At(x, y) = _Scaled(nValue, nMaxval);
        }
    }
    return true;
}

}  // namespace

bool ReadPgm(const std::string& bytes, CGreyImage& out, std::string& why)
{
    CPgmCursor cursor(bytes);
    cursor.Seek(2);
    const bool bText = bytes[1] == '2';
    uint32_t nWidth = 0;
    uint32_t nHeight = 0;
    uint32_t nMaxval = 0;
    if (!cursor.Number(nWidth) || !cursor.Number(nHeight) || !cursor.Number(nMaxval))
        return _Fail(why, "the header lacks a width, height or maxval");
    if (nMaxval == 0 || nMaxval > 255)
        return _Fail(why, "maxval " + std::to_string(nMaxval) +
                              " is outside 1-255 (only 8-bit grey maps are read)");
    std::string sSize;
    if (!CheckImageSize(nWidth, nHeight, sSize))
        return _Fail(why, sSize);
    if (!bText && !cursor.EndOfHeader())
        return _Fail(why, "no whitespace between maxval and the pixels");
    // Every pixel takes a byte at least: a bound before allocating.
    const uint64_t nPixels = uint64_t(nWidth) * nHeight;
    const size_t nLeft = bytes.size() - cursor.Position();
    if (nPixels > nLeft)
        return _Fail(why, "the pixels are truncated: " + std::to_string(nPixels) +
                              " needed, " + std::to_string(nLeft) + " bytes present");
    CGreyImage image(nWidth, nHeight, 0);
    if (bText ? !_ReadText(cursor, nMaxval, image, why)
              : !_ReadBinary(bytes, cursor.Position(), nMaxval, image, why))
        return false;
    out = std::move(image);
    return true;
}

}  // namespace vsim
