#include "QueryOutput.h"

#include "ValueData.h"

namespace vreg {
namespace {

const char16_t kIndent[] = u"    ";

}  // namespace

std::u16string FormatValueLine(const regtext::Value& value)
{
    const std::u16string sName = value.name.empty() ? u"(Default)" : value.name;
    return kIndent + sName + kIndent + TypeName(value.type) + kIndent +
           DisplayData(value.type, value.data) + u'\n';
}

std::u16string FormatKeyBlock(const std::u16string& sFullName,
                              const std::vector<regtext::Value>& values)
{
    std::u16string sBlock = u'\n' + sFullName + u'\n';
    for (const regtext::Value& value : values)
        sBlock += FormatValueLine(value);
    return sBlock;
}

std::u16string FormatUnsetDefaultLine()
{
    return std::u16string(kIndent) + u"(Default)" + kIndent + u"REG_SZ" + kIndent +
           u"(value not set)\n";
}

}  // namespace vreg
