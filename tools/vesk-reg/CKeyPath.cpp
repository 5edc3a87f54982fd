#include "CKeyPath.h"

#include "CToolError.h"
#include "Text.h"

namespace vreg {
namespace {

struct CRootName {
    const char16_t* m_pszShort;
    const char16_t* m_pszLong;
    HKEY m_hKey;
};

const CRootName kRoots[] = {
    {u"HKLM", u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {u"HKCU", u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
};

}  // namespace

std::u16string CKeyPath::FullName() const
{
    return m_sSubKey.empty() ? m_sRootName : m_sRootName + u'\\' + m_sSubKey;
}

std::u16string CKeyPath::ParentSubKey() const
{
    const size_t nSlash = m_sSubKey.rfind(u'\\');
    return nSlash == std::u16string::npos ? std::u16string() : m_sSubKey.substr(0, nSlash);
}

std::u16string CKeyPath::LeafName() const
{
    const size_t nSlash = m_sSubKey.rfind(u'\\');
    return nSlash == std::u16string::npos ? m_sSubKey : m_sSubKey.substr(nSlash + 1);
}

std::u16string ParseKeyPath(const std::u16string& sText, CKeyPath& path)
{
    const size_t nSlash = sText.find(u'\\');
    const std::u16string sRoot = sText.substr(0, nSlash);
    const CRootName* pRoot = nullptr;
    for (const CRootName& root : kRoots) {
        if (EqualsNoCase(sRoot, root.m_pszShort) || EqualsNoCase(sRoot, root.m_pszLong))
            pRoot = &root;
    }
    if (!pRoot)
        return u"unknown root key '" + sRoot + u"' (use HKLM or HKCU).";
    std::u16string sSubKey = nSlash == std::u16string::npos ? u"" : sText.substr(nSlash + 1);
    // reg.exe accepts a trailing backslash.
    while (!sSubKey.empty() && sSubKey.back() == u'\\')
        sSubKey.pop_back();
    if (sSubKey.find(u"\\\\") != std::u16string::npos || (!sSubKey.empty() && sSubKey[0] == u'\\'))
        return u"invalid key name '" + sText + u"': empty name between backslashes.";
    path.m_hRoot = pRoot->m_hKey;
    path.m_sRootName = pRoot->m_pszLong;
    path.m_sSubKey = sSubKey;
    return std::u16string();
}

CKeyPath KeyPathFromArgument(const std::u16string& sText)
{
    CKeyPath path;
    const std::u16string sError = ParseKeyPath(sText, path);
    if (!sError.empty())
        Fail(sError);
    return path;
}

}  // namespace vreg
