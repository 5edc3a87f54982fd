#include "LogLevel.h"

#include "Text.h"

namespace vadmin {
namespace {

const char16_t* const kNames[] = {u"error", u"warning", u"info", u"debug"};
constexpr uint32_t kLevels = sizeof kNames / sizeof kNames[0];

}  // namespace

const char16_t* LevelName(uint32_t nLevel)
{
    return nLevel >= 1 && nLevel <= kLevels ? kNames[nLevel - 1] : nullptr;
}

bool ParseLevel(const std::u16string& sText, uint32_t& nLevel)
{
    for (uint32_t n = 1; n <= kLevels; ++n) {
        if (sText == Decimal(n) || EqualsNoCase(sText, kNames[n - 1])) {
            nLevel = n;
            return true;
        }
    }
    return false;
}

}  // namespace vadmin
