#include "CKey.h"
#include "CKeyPath.h"
#include "CToolError.h"
#include "Commands.h"
#include "KeyTree.h"
#include "Platform.h"
#include "QueryOutput.h"
#include "Text.h"

namespace vreg {
namespace {

const char16_t kNotFound[] = u"The system was unable to find the specified registry key or value.";

void _QueryKey(const CKey& key, const CKeyPath& path)
{
    std::u16string sOut = FormatKeyBlock(path.FullName(), key.Values());
    const std::vector<std::u16string> subKeys = key.SubKeyNames();
    if (!subKeys.empty())
        sOut += u'\n';
    for (const std::u16string& sName : subKeys)
        sOut += path.FullName() + u'\\' + sName + u'\n';
    WriteOut(sOut);
}

// Names match without regard to case; show the one the registry holds.
regtext::Value _WithStoredName(const CKey& key, regtext::Value value)
{
    for (const regtext::Value& stored : key.Values()) {
        if (EqualsNoCase(stored.name, value.name))
            value.name = stored.name;
    }
    return value;
}

void _QueryValue(const CKey& key, const CKeyPath& path, const std::u16string& sName)
{
    regtext::Value value;
    const LSTATUS nStatus = key.QueryValue(sName, value);
    std::u16string sLine;
    if (nStatus == ERROR_SUCCESS)
        sLine = FormatValueLine(_WithStoredName(key, value));
    else if (nStatus == ERROR_FILE_NOT_FOUND && sName.empty())
        sLine = FormatUnsetDefaultLine();
    else
        FailStatus(nStatus);
    WriteOut(u'\n' + path.FullName() + u'\n' + sLine);
}

void _QueryTree(const CKeyPath& path, REGSAM nView)
{
    regtext::Document tree;
    ReadTree(path, nView, tree);
    std::u16string sOut;
    for (const regtext::Key& key : tree.keys)
        sOut += FormatKeyBlock(key.path, key.values);
    WriteOut(sOut);
}

// With /s and /v: every key below that holds the value.
void _SearchTree(const CKeyPath& path, REGSAM nView, const std::u16string& sName)
{
    regtext::Document tree;
    ReadTree(path, nView, tree);
    std::u16string sOut;
    size_t nMatches = 0;
    for (const regtext::Key& key : tree.keys) {
        for (const regtext::Value& value : key.values) {
            if (EqualsNoCase(value.name, sName)) {
                sOut += FormatKeyBlock(key.path, {value});
                ++nMatches;
            }
        }
    }
    if (nMatches == 0)
        Fail(kNotFound);
    WriteOut(sOut + u"\nEnd of search: " + FromUtf8(std::to_string(nMatches)) +
             u" match(es) found.\n");
}

}  // namespace

void RunQuery(const CCommandLine& line)
{
    const CKeyPath path = KeyPathFromArgument(line.m_vPositional[0]);
    CKey key;
    const LSTATUS nStatus = key.Open(path.m_hRoot, path.m_sSubKey, KEY_READ | line.m_nView);
    if (nStatus != ERROR_SUCCESS)
        FailStatus(nStatus);
    if (line.m_bRecurse && line.m_oValueName)
        _SearchTree(path, line.m_nView, *line.m_oValueName);
    else if (line.m_bRecurse)
        _QueryTree(path, line.m_nView);
    else if (line.m_oValueName)
        _QueryValue(key, path, *line.m_oValueName);
    else
        _QueryKey(key, path);
}

}  // namespace vreg
