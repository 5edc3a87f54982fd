// The tool's own platform difference: view-aware deletes.
#include "Platform.h"

#include "Text.h"

namespace vreg {

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

}  // namespace vreg

