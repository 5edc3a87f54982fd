#include "support/Format.h"

WString FormatHex32(uint32_t nValue)
{
    static const char kDigits[] = "0123456789abcdef";
    WString sText = W("0x00000000");
    for (int i = 9; i >= 2; --i, nValue >>= 4)
        sText[i] = static_cast<WCHAR>(kDigits[nValue & 0xF]);
    return sText;
}

WString FormatZeroPadded(uint32_t nValue, unsigned nDigits)
{
    WString sText;
    do {
        sText.insert(sText.begin(), static_cast<WCHAR>('0' + nValue % 10));
        nValue /= 10;
    } while (nValue != 0);
    if (sText.size() < nDigits)
        sText.insert(0, nDigits - sText.size(), W('0'));
    return sText;
}

WString FormatDecimal(int64_t nValue)
{
    const bool bNegative = nValue < 0;
    // Negating through unsigned keeps INT64_MIN well defined.
    uint64_t nMagnitude = bNegative ? 0 - static_cast<uint64_t>(nValue) : static_cast<uint64_t>(nValue);
    WString sText;
    do {
        sText.insert(sText.begin(), static_cast<WCHAR>('0' + nMagnitude % 10));
        nMagnitude /= 10;
    } while (nMagnitude != 0);
    if (bNegative)
        sText.insert(sText.begin(), W('-'));
    return sText;
}
