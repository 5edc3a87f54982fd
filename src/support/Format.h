// Message formatting for diagnostics, the same on every platform and
// independent of the C library's wide printf.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <type_traits>

#include "support/Win32.h"

// "0x" and 8 lower-case hexadecimal digits with leading zeros.
WString FormatHex32(uint32_t nValue);
// Plain decimal, with a minus sign when negative.
WString FormatDecimal(int64_t nValue);
// Decimal with at least nDigits digits, zero-filled on the left.
WString FormatZeroPadded(uint32_t nValue, unsigned nDigits);

// One argument of FormatText: an integer or a wide string.
class CFormatArg {
public:
    template <class T, std::enable_if_t<std::is_integral_v<T> || std::is_enum_v<T>, int> = 0>
    CFormatArg(T value)  // NOLINT: implicit by design
        : m_bSigned(std::is_signed_v<T>),
          m_nValue(static_cast<uint64_t>(static_cast<int64_t>(value)))
    {
    }
    CFormatArg(const WCHAR* pszText) : m_pszText(pszText ? pszText : W("(null)")) {}
    CFormatArg(const WString& sText) : m_pszText(sText.c_str()) {}

    bool IsText() const { return m_pszText != nullptr; }
    bool IsSigned() const { return m_bSigned; }
    uint64_t Bits() const { return m_nValue; }
    const WCHAR* Text() const { return m_pszText; }

private:
    bool m_bSigned = false;
    uint64_t m_nValue = 0;
    const WCHAR* m_pszText = nullptr;
};

// printf-style conversions %d %i %u %x %X %s %c and %% with the flags '#',
// '0' and '-', a width and the size prefixes l, ll, h (ignored: arguments
// carry their own type). A missing or mismatched argument prints nothing;
// the pattern is never read beyond its end.
WString FormatText(const WCHAR* pszPattern, std::initializer_list<CFormatArg> args);

template <class... TArgs>
WString Format(const WCHAR* pszPattern, const TArgs&... args)
{
    return FormatText(pszPattern, {CFormatArg(args)...});
}
