#include "COptions.h"

#include "ToolError.h"

namespace vtool {
namespace {

// A lone "-" stays plain: it is a conventional name, not an option.
bool _IsOption(const std::u16string& sArgument)
{
    return sArgument.size() > 1 && sArgument[0] == u'-';
}

const COptionDef* _Find(const std::vector<COptionDef>& defs, const std::u16string& sName)
{
    for (const COptionDef& def : defs) {
        if (sName == def.m_pszName)
            return &def;
    }
    return nullptr;
}

}  // namespace

COptions::COptions(const std::vector<std::u16string>& args, const std::vector<COptionDef>& defs,
                   const std::u16string& sCommand)
{
    for (size_t i = 0; i < args.size(); ++i) {
        if (!_IsOption(args[i])) {
            m_vPlain.push_back(args[i]);
            continue;
        }
        const size_t nEquals = args[i].find(u'=');
        const std::u16string sName = args[i].substr(0, nEquals);
        const COptionDef* pDef = _Find(defs, sName);
        if (!pDef)
            Fail(u"unknown option '" + sName + u"' for " + sCommand + u".");
        if (m_mValues.count(sName))
            Fail(u"option '" + sName + u"' is given twice.");
        std::u16string sValue;
        if (nEquals != std::u16string::npos) {
            if (!pDef->m_bTakesValue)
                Fail(u"option '" + sName + u"' takes no value.");
            sValue = args[i].substr(nEquals + 1);
        } else if (pDef->m_bTakesValue) {
            if (i + 1 >= args.size())
                Fail(u"option '" + sName + u"' needs a value.");
            sValue = args[++i];
        }
        m_mValues[sName] = sValue;
    }
}

std::u16string COptions::Value(const char16_t* pszName) const
{
    const auto it = m_mValues.find(pszName);
    return it == m_mValues.end() ? std::u16string() : it->second;
}

void COptions::RejectPlain() const
{
    if (!m_vPlain.empty())
        Fail(u"unexpected argument '" + m_vPlain.front() + u"'.");
}

bool IsHelpRequest(const std::u16string& sArgument)
{
    return sArgument == u"--help" || sArgument == u"-h" || sArgument == u"-?" ||
           sArgument == u"/?";
}

}  // namespace vtool
