#include "CKey.h"
#include "CKeyPath.h"
#include "CToolError.h"
#include "Commands.h"
#include "KeyTree.h"
#include "Platform.h"
#include "Text.h"

namespace vreg {
namespace {

// Errors of a file name their place: "FILE:LINE: message".
[[noreturn]] void _FailAt(const std::u16string& sFile, size_t nLine, const std::u16string& sMessage)
{
    const std::u16string sPlace = nLine ? sFile + u':' + FromUtf8(std::to_string(nLine)) : sFile;
    throw CToolError(sPlace + u": " + sMessage);
}

LSTATUS _ApplyValues(const CKeyPath& path, const regtext::Key& entry, REGSAM nView)
{
    CKey key;
    LSTATUS nStatus = key.Create(path.m_hRoot, path.m_sSubKey, KEY_READ | KEY_WRITE | nView);
    for (size_t i = 0; nStatus == ERROR_SUCCESS && i < entry.values.size(); ++i) {
        const regtext::Value& value = entry.values[i];
        nStatus = value.remove ? key.DeleteValue(value.name) : key.SetValue(value);
        if (value.remove && nStatus == ERROR_FILE_NOT_FOUND)
            nStatus = ERROR_SUCCESS;  // already gone is what was asked for
    }
    return nStatus;
}

LSTATUS _ApplyKey(const CKeyPath& path, const regtext::Key& entry, REGSAM nView)
{
    if (!entry.remove)
        return _ApplyValues(path, entry, nView);
    const LSTATUS nStatus = DeleteTree(path, nView);
    return nStatus == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : nStatus;
}

// Every key is checked before the first one is written.
std::vector<CKeyPath> _CheckKeys(const std::u16string& sFile, const regtext::Document& document)
{
    std::vector<CKeyPath> paths(document.keys.size());
    for (size_t i = 0; i < document.keys.size(); ++i) {
        const regtext::Key& entry = document.keys[i];
        const std::u16string sError = ParseKeyPath(entry.path, paths[i]);
        if (!sError.empty())
            _FailAt(sFile, entry.line, sError);
        if (entry.remove && paths[i].m_sSubKey.empty())
            _FailAt(sFile, entry.line, u"a root key cannot be deleted.");
    }
    return paths;
}

}  // namespace

void RunImport(const CCommandLine& line)
{
    const std::u16string& sFile = line.m_vPositional[0];
    std::string bytes;
    if (!ReadWholeFile(sFile, bytes))
        Fail(u"cannot read the file '" + sFile + u"'.");
    regtext::Document document;
    regtext::ParseError error;
    if (!regtext::Parse(bytes, document, error))
        _FailAt(sFile, error.line, FromUtf8(error.message));
    const std::vector<CKeyPath> paths = _CheckKeys(sFile, document);
    for (size_t i = 0; i < paths.size(); ++i) {
        const LSTATUS nStatus = _ApplyKey(paths[i], document.keys[i], line.m_nView);
        if (nStatus != ERROR_SUCCESS)
            _FailAt(sFile, document.keys[i].line, DescribeStatus(nStatus));
    }
    ReportSuccess();
}

}  // namespace vreg
