#include "support/Format.h"

#include <algorithm>

namespace {

WString Digits(uint64_t nValue, unsigned nBase, bool bUpper)
{
    const char* const pszDigits = bUpper ? "0123456789ABCDEF" : "0123456789abcdef";
    WString sText;
    do {
        sText.insert(sText.begin(), static_cast<WCHAR>(pszDigits[nValue % nBase]));
        nValue /= nBase;
    } while (nValue != 0);
    return sText;
}

struct Spec {
    bool bAlternate = false;
    bool bZero = false;
    bool bLeft = false;
    size_t nWidth = 0;
};

WString Pad(WString sBody, const WString& sPrefix, const Spec& spec)
{
    const size_t nUsed = sBody.size() + sPrefix.size();
    if (nUsed >= spec.nWidth)
        return sPrefix + sBody;
    const size_t nFill = spec.nWidth - nUsed;
    if (spec.bLeft)
        return sPrefix + sBody + WString(nFill, W(' '));
    if (spec.bZero)
        return sPrefix + WString(nFill, W('0')) + sBody;
    return WString(nFill, W(' ')) + sPrefix + sBody;
}

WString Convert(WCHAR cType, const Spec& spec, const CFormatArg& arg)
{
    if (cType == W('s'))
        return arg.IsText() ? Pad(arg.Text(), WString(), Spec{false, false, spec.bLeft, spec.nWidth})
                            : WString();
    if (arg.IsText())
        return WString();
    if (cType == W('c'))
        return WString(1, static_cast<WCHAR>(arg.Bits()));
    if (cType == W('d') || cType == W('i')) {
        const auto nValue = static_cast<int64_t>(arg.Bits());
        const bool bNegative = arg.IsSigned() && nValue < 0;
        const uint64_t nMagnitude = bNegative ? 0 - arg.Bits() : arg.Bits();
        return Pad(Digits(nMagnitude, 10, false), bNegative ? W("-") : W(""), spec);
    }
    // Unsigned conversions see the value in 32 bits, as the C library does
    // for a plain int argument.
    const uint64_t nValue = arg.IsSigned() ? (arg.Bits() & 0xFFFFFFFFu) : arg.Bits();
    if (cType == W('u'))
        return Pad(Digits(nValue, 10, false), WString(), spec);
    const bool bUpper = cType == W('X');
    const WString sPrefix = spec.bAlternate && nValue != 0 ? (bUpper ? W("0X") : W("0x")) : W("");
    return Pad(Digits(nValue, 16, bUpper), sPrefix, spec);
}

}  // namespace

WString FormatHex32(uint32_t nValue) { return Format(W("0x%08x"), nValue); }

WString FormatZeroPadded(uint32_t nValue, unsigned nDigits)
{
    Spec spec;
    spec.bZero = true;
    spec.nWidth = nDigits;
    return Pad(Digits(nValue, 10, false), WString(), spec);
}

WString FormatDecimal(int64_t nValue) { return Format(W("%d"), nValue); }

WString FormatText(const WCHAR* pszPattern, std::initializer_list<CFormatArg> args)
{
    WString sOut;
    if (!pszPattern)
        return sOut;
    auto itArg = args.begin();
    for (const WCHAR* p = pszPattern; *p; ++p) {
        if (*p != W('%')) {
            sOut += *p;
            continue;
        }
        Spec spec;
        for (++p;; ++p) {
            if (*p == W('#'))
                spec.bAlternate = true;
            else if (*p == W('0'))
                spec.bZero = true;
            else if (*p == W('-'))
                spec.bLeft = true;
            else
                break;
        }
        // Widths beyond any message line are clamped, never allocated.
        for (; *p >= W('0') && *p <= W('9'); ++p)
            spec.nWidth = std::min<size_t>(spec.nWidth * 10 + static_cast<size_t>(*p - W('0')), 1024);
        while (*p == W('l') || *p == W('h'))
            ++p;
        if (*p == 0)
            break;
        if (*p == W('%')) {
            sOut += W('%');
            continue;
        }
        if (itArg != args.end())
            sOut += Convert(*p, spec, *itArg++);
    }
    return sOut;
}
