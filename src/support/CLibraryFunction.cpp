#include "support/CLibraryFunction.h"

CLibraryFunction::CLibraryFunction(const WString& sLibrary, const char* pszFunction)
{
    m_hModule = LoadLibraryW(sLibrary.c_str());
    if (m_hModule)
        m_pFunction = GetProcAddress(m_hModule, pszFunction);
}

void CLibraryFunction::Release()
{
    if (m_hModule)
        FreeLibrary(m_hModule);
    m_hModule = nullptr;
    m_pFunction = nullptr;
}
