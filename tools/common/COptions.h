// The options of one command: "--name VALUE", "--name=VALUE" or a bare
// "--flag", each at most once, and plain arguments in their order.
#pragma once
#include <map>
#include <string>
#include <vector>

namespace vtool {

struct COptionDef {
    const char16_t* m_pszName;  // with its leading "--"
    bool m_bTakesValue;
};

class COptions {
public:
    // Throws CToolError on an unknown option, a missing or surplus value or
    // an option given twice; sCommand names the command in those lines.
    COptions(const std::vector<std::u16string>& args, const std::vector<COptionDef>& defs,
             const std::u16string& sCommand);

    bool Has(const char16_t* pszName) const { return m_mValues.count(pszName) != 0; }
    // Empty for a flag or an absent option.
    std::u16string Value(const char16_t* pszName) const;
    const std::vector<std::u16string>& Plain() const { return m_vPlain; }
    // Throws CToolError naming the first plain argument, if any.
    void RejectPlain() const;

private:
    std::map<std::u16string, std::u16string> m_mValues;
    std::vector<std::u16string> m_vPlain;
};

// "--help", "-h", "-?" or "/?": the usage instead of the command.
bool IsHelpRequest(const std::u16string& sArgument);

}  // namespace vtool
