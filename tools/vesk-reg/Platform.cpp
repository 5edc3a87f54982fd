// The tool's own platform differences: files by name and view-aware deletes.
#include "Platform.h"

#include <cstdio>
#include <cwchar>
#include <memory>

#include "Text.h"

namespace vreg {
namespace {

struct CFileCloser {
    void operator()(FILE* pFile) const { std::fclose(pFile); }
};
using CFile = std::unique_ptr<FILE, CFileCloser>;

#ifdef _WIN32

CFile _Open(const std::u16string& path, const wchar_t* pszMode)
{
    return CFile(_wfopen(ToWide(path).c_str(), pszMode));
}

const wchar_t* const kReadMode = L"rb";
const wchar_t* const kWriteMode = L"wb";

#else

CFile _Open(const std::u16string& path, const char* pszMode)
{
    return CFile(std::fopen(ToUtf8(path).c_str(), pszMode));
}

const char* const kReadMode = "rb";
const char* const kWriteMode = "wb";

#endif

}  // namespace

#ifdef _WIN32

LSTATUS DeleteSubKey(HKEY hParent, const std::u16string& sName, REGSAM nView)
{
    using DeleteKeyEx = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
    const WString sWide = ToWide(sName);
    // Bound at run time: Windows 2000 has no views and no RegDeleteKeyExW.
    const FARPROC pProc = GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "RegDeleteKeyExW");
    if (nView == 0 || !pProc)
        return RegDeleteKeyW(hParent, sWide.c_str());
    const auto pDelete = reinterpret_cast<DeleteKeyEx>(reinterpret_cast<void (*)()>(pProc));
    return pDelete(hParent, sWide.c_str(), nView, 0);
}

#else

LSTATUS DeleteSubKey(HKEY hParent, const std::u16string& sName, REGSAM nView)
{
    return RegDeleteKeyExW(hParent, ToWide(sName).c_str(), nView, 0);
}

#endif

bool ReadWholeFile(const std::u16string& path, std::string& bytes)
{
    const CFile pFile = _Open(path, kReadMode);
    if (!pFile)
        return false;
    bytes.clear();
    char buffer[65536];
    size_t nRead = 0;
    while ((nRead = std::fread(buffer, 1, sizeof buffer, pFile.get())) > 0)
        bytes.append(buffer, nRead);
    return !std::ferror(pFile.get());
}

bool WriteWholeFile(const std::u16string& path, const std::string& bytes)
{
    CFile pFile = _Open(path, kWriteMode);
    if (!pFile)
        return false;
    const bool bWritten = std::fwrite(bytes.data(), 1, bytes.size(), pFile.get()) == bytes.size();
    return std::fclose(pFile.release()) == 0 && bWritten;
}

}  // namespace vreg

