#include "CKey.h"
#include "CKeyPath.h"
#include "CToolError.h"
#include "Commands.h"
#include "KeyTree.h"

namespace vreg {
namespace {

LSTATUS _DeleteValues(const CKeyPath& path, const CCommandLine& line)
{
    CKey key;
    LSTATUS nStatus = key.Open(path.m_hRoot, path.m_sSubKey, KEY_READ | KEY_WRITE | line.m_nView);
    if (nStatus != ERROR_SUCCESS)
        return nStatus;
    if (line.m_oValueName)
        return key.DeleteValue(*line.m_oValueName);
    for (const regtext::Value& value : key.Values()) {
        nStatus = key.DeleteValue(value.name);
        if (nStatus != ERROR_SUCCESS)
            return nStatus;
    }
    return ERROR_SUCCESS;
}

}  // namespace

void RunDelete(const CCommandLine& line)
{
    const CKeyPath path = KeyPathFromArgument(line.m_vPositional[0]);
    LSTATUS nStatus = ERROR_SUCCESS;
    if (line.m_oValueName || line.m_bAllValues) {
        nStatus = _DeleteValues(path, line);
    } else {
        if (path.m_sSubKey.empty())
            Fail(u"a root key cannot be deleted.");
        nStatus = DeleteTree(path, line.m_nView);
    }
    if (nStatus != ERROR_SUCCESS)
        FailStatus(nStatus);
    ReportSuccess();
}

}  // namespace vreg
