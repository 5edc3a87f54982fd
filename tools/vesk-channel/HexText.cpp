#include "HexText.h"

#include <cctype>

#include "unicode/Utf.h"

namespace vchan {
namespace {

constexpr size_t kBytesPerLine = 32;
constexpr char kDigits[] = "0123456789abcdef";

// Shown as itself when printable, else by its code.
std::string _Show(unsigned char c)
{
    if (std::isprint(c))
        return std::string("'") + static_cast<char>(c) + "'";
    return std::string("byte 0x") + kDigits[c >> 4] + kDigits[c & 0xF];
}

}  // namespace

std::string ToHexText(const std::string& bytes)
{
    std::string text;
    text.reserve(bytes.size() * 2 + bytes.size() / kBytesPerLine + 1);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto nByte = static_cast<unsigned char>(bytes[i]);
        text += kDigits[nByte >> 4];
        text += kDigits[nByte & 0xF];
        if ((i + 1) % kBytesPerLine == 0 || i + 1 == bytes.size())
            text += '\n';
    }
    return text;
}

bool FromHexText(const std::string& text, std::string& bytes, std::string& why)
{
    bytes.clear();
    bytes.reserve(text.size() / 2);
    size_t nDigits = 0;
    int nHigh = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (std::isspace(c))
            continue;
        const int nValue = unicode::HexDigitValue(c);
        if (nValue < 0) {
            why = _Show(c) + " at offset " + std::to_string(i) + " is not a hex digit";
            return false;
        }
        if (nDigits++ % 2 == 0)
            nHigh = nValue;
        else
            bytes += static_cast<char>(nHigh << 4 | nValue);
    }
    if (nDigits % 2 != 0) {
        why = "odd number of hex digits (" + std::to_string(nDigits) + ")";
        return false;
    }
    return true;
}

}  // namespace vchan
