#include "sim/common/SimText.h"

#include <cstdio>

#include "unicode/Utf.h"

namespace vsim {

WString WideFromUtf8(const std::string& sText)
{
    const std::u16string sWide = unicode::FromUtf8Lossy(sText);
    return WString(sWide.begin(), sWide.end());
}

std::string Utf8FromWide(const WString& sText)
{
    return unicode::ToUtf8(std::u16string(sText.begin(), sText.end()));
}

bool ParseNumber(const std::string& sText, uint32_t nMax, uint32_t& nValue)
{
    const bool bHex = sText.size() > 2 && sText[0] == '0' && (sText[1] == 'x' || sText[1] == 'X');
    const uint64_t nBase = bHex ? 16 : 10;
    if (sText.empty() || sText.size() > 24)
        return false;
    uint64_t nResult = 0;
    for (size_t i = bHex ? 2 : 0; i < sText.size(); ++i) {
        const int nDigit = unicode::HexDigitValue(static_cast<unsigned char>(sText[i]));
        if (nDigit < 0 || uint64_t(nDigit) >= nBase)
            return false;
        nResult = nResult * nBase + uint64_t(nDigit);
        if (nResult > nMax)
            return false;
    }
    nValue = static_cast<uint32_t>(nResult);
    return true;
}

std::string Hex(uint32_t nValue, int nDigits)
{
    char szText[16];
    std::snprintf(szText, sizeof szText, "0x%0*X", nDigits, static_cast<unsigned>(nValue));
    return szText;
}

void DebugLine(const std::string& sUtf8)
{
    const WString sLine = WideFromUtf8(sUtf8 + "\n");
    OutputDebugStringW(sLine.c_str());
}

}  // namespace vsim
