#include <filesystem>
#include <functional>
#include <optional>

#include "CKey.h"
#include "CKeyPath.h"
#include "CToolError.h"
#include "Files.h"
#include "Commands.h"
#include "KeyTree.h"
#include "Platform.h"
#include "Text.h"

namespace vreg {
namespace {

// Far above any registry a program keeps; a bound before reading it whole.
constexpr size_t kMaxRegFileBytes = 256u << 20;

// Errors of a file name their place: "FILE:LINE: message".
std::u16string _Place(const std::u16string& sFile, size_t nLine)
{
    return nLine ? sFile + u':' + FromUtf8(std::to_string(nLine)) : sFile;
}

[[noreturn]] void _FailAt(const std::u16string& sFile, size_t nLine, const std::u16string& sMessage)
{
    throw CToolError(_Place(sFile, nLine) + u": " + sMessage);
}

CKeyPath _Below(const CKeyPath& path, const std::u16string& sSubKey)
{
    CKeyPath below = path;
    below.m_sSubKey = sSubKey;
    return below;
}

// Applies a file change by change, remembering how to take each back, so
// that a failure part way leaves the registry as it was before the import.
class CImport {
public:
    explicit CImport(REGSAM nView) : m_nView(nView) {}

    // ERROR_SUCCESS, or the failed call's status with its line in nLine.
    LSTATUS Apply(const CKeyPath& path, const regtext::Key& entry, size_t& nLine)
    {
        nLine = entry.line;
        if (entry.remove)
            return _RemoveKey(path);
        if (const LSTATUS nStatus = _CreateKey(path))
            return nStatus;
        CKey key;
        if (const LSTATUS nStatus = key.Open(path.m_hRoot, path.m_sSubKey, KEY_READ | KEY_WRITE | m_nView))
            return nStatus;
        for (const regtext::Value& value : entry.values) {
            nLine = value.line;
            if (const LSTATUS nStatus = _SetValue(path, key, value))
                return nStatus;
        }
        return ERROR_SUCCESS;
    }

    // Latest change first; the number of changes that could not be undone.
    size_t Undo()
    {
        size_t nFailed = 0;
        for (auto it = m_vUndo.rbegin(); it != m_vUndo.rend(); ++it)
            nFailed += (*it)() != ERROR_SUCCESS;
        m_vUndo.clear();
        return nFailed;
    }

private:
    LSTATUS _RemoveKey(const CKeyPath& path)
    {
        CKey key;
        const LSTATUS nOpen = key.Open(path.m_hRoot, path.m_sSubKey, KEY_READ | m_nView);
        if (nOpen == ERROR_FILE_NOT_FOUND)
            return ERROR_SUCCESS;  // already gone is what was asked for
        if (nOpen != ERROR_SUCCESS)
            return nOpen;
        regtext::Document before;
        ReadTree(path, m_nView, before);
        if (const LSTATUS nStatus = DeleteTree(path, m_nView); nStatus != ERROR_FILE_NOT_FOUND && nStatus)
            return nStatus;
        m_vUndo.push_back([this, path, before] { return _Restore(path, before); });
        return ERROR_SUCCESS;
    }

    // Missing keys are created parents first; the topmost one created is
    // what an undo deletes.
    LSTATUS _CreateKey(const CKeyPath& path)
    {
        std::optional<CKeyPath> oCreated;
        for (size_t nEnd = 0; nEnd != std::u16string::npos && !oCreated;) {
            nEnd = path.m_sSubKey.find(u'\\', nEnd + 1);
            const CKeyPath prefix = _Below(path, path.m_sSubKey.substr(0, nEnd));
            CKey key;
            if (key.Open(prefix.m_hRoot, prefix.m_sSubKey, KEY_READ | m_nView) == ERROR_FILE_NOT_FOUND)
                oCreated = prefix;
        }
        CKey key;
        if (const LSTATUS nStatus = key.Create(path.m_hRoot, path.m_sSubKey, KEY_READ | m_nView))
            return nStatus;
        if (oCreated)
            m_vUndo.push_back([this, created = *oCreated] { return DeleteTree(created, m_nView); });
        return ERROR_SUCCESS;
    }

    LSTATUS _SetValue(const CKeyPath& path, const CKey& key, const regtext::Value& value)
    {
        regtext::Value before;
        const LSTATUS nQuery = key.QueryValue(value.name, before);
        if (nQuery != ERROR_SUCCESS && nQuery != ERROR_FILE_NOT_FOUND)
            return nQuery;
        if (value.remove && nQuery == ERROR_FILE_NOT_FOUND)
            return ERROR_SUCCESS;  // already gone is what was asked for
        if (const LSTATUS nStatus = value.remove ? key.DeleteValue(value.name) : key.SetValue(value))
            return nStatus;
        const bool bExisted = nQuery == ERROR_SUCCESS;
        before.name = value.name;
        m_vUndo.push_back([this, path, before, bExisted] {
            CKey undo;
            if (const LSTATUS nStatus =
                    undo.Open(path.m_hRoot, path.m_sSubKey, KEY_READ | KEY_WRITE | m_nView))
                return nStatus;
            return bExisted ? undo.SetValue(before) : undo.DeleteValue(before.name);
        });
        return ERROR_SUCCESS;
    }

    LSTATUS _Restore(const CKeyPath& path, const regtext::Document& before) const
    {
        const size_t nRoot = path.FullName().size() - path.m_sSubKey.size();
        for (const regtext::Key& saved : before.keys) {
            CKey key;
            const CKeyPath at = _Below(path, saved.path.substr(nRoot));
            if (const LSTATUS nStatus = key.Create(at.m_hRoot, at.m_sSubKey, KEY_READ | KEY_WRITE | m_nView))
                return nStatus;
            for (const regtext::Value& value : saved.values) {
                if (const LSTATUS nStatus = key.SetValue(value))
                    return nStatus;
            }
        }
        return ERROR_SUCCESS;
    }

    REGSAM m_nView;
    std::vector<std::function<LSTATUS()>> m_vUndo;
};

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

void _ReadDocument(const std::u16string& sFile, regtext::Document& document)
{
    const DWORD nAttributes = GetFileAttributesW(ToWide(sFile).c_str());
    if (nAttributes != INVALID_FILE_ATTRIBUTES && (nAttributes & FILE_ATTRIBUTE_DIRECTORY))
        Fail(u"'" + sFile + u"' is a folder; give a .reg file.");
    if (nAttributes != INVALID_FILE_ATTRIBUTES && (nAttributes & FILE_ATTRIBUTE_DEVICE))
        Fail(u"'" + sFile + u"' is not a regular file; give a .reg file.");
    std::string bytes;
    if (!vtool::ReadWholeFile(std::filesystem::path(sFile), bytes, kMaxRegFileBytes + 1))
        Fail(u"cannot read the file '" + sFile + u"'.");
    if (bytes.size() > kMaxRegFileBytes)
        Fail(u"'" + sFile + u"' is larger than the " + Decimal(kMaxRegFileBytes >> 20) +
             u" MiB a .reg file may have here.");
    regtext::ParseError error;
    if (!regtext::Parse(bytes, document, error))
        _FailAt(sFile, error.line, FromUtf8(error.message));
}

}  // namespace

// All of the file or nothing: a change that fails takes back the ones before.
void RunImport(const CCommandLine& line)
{
    const std::u16string& sFile = line.m_vPositional[0];
    regtext::Document document;
    _ReadDocument(sFile, document);
    const std::vector<CKeyPath> paths = _CheckKeys(sFile, document);
    CImport import(line.m_nView);
    for (size_t i = 0; i < paths.size(); ++i) {
        size_t nLine = 0;
        std::u16string sFailure;
        try {
            if (const LSTATUS nStatus = import.Apply(paths[i], document.keys[i], nLine))
                sFailure = DescribeStatus(nStatus);
        } catch (const CToolError& error) {
            sFailure = error.Line();
        }
        if (sFailure.empty())
            continue;
        const size_t nLeft = import.Undo();
        _FailAt(sFile, nLine,
                sFailure + (nLeft ? u" " + Decimal(nLeft) + u" earlier changes of this import could "
                                                            u"not be taken back."
                                  : u" Nothing was imported."));
    }
    ReportSuccess();
}

}  // namespace vreg
