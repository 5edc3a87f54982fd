// One function of a library bound at run time, so that the module still loads
// on systems that lack it; holds a reference to the library until released.
#pragma once
#include "support/Win32.h"

class CLibraryFunction {
public:
    CLibraryFunction(const WString& sLibrary, const char* pszFunction);
    ~CLibraryFunction() { Release(); }
    CLibraryFunction(const CLibraryFunction&) = delete;
    CLibraryFunction& operator=(const CLibraryFunction&) = delete;

    // Null when the library or the function is missing.
    FARPROC GetFunction() const { return m_pFunction; }

    // The function as its real type; null when missing.
    template <class TFunction>
    TFunction As() const
    {
        // Through the generic function type, the one cast compilers accept
        // between unrelated function pointers without a warning.
        return reinterpret_cast<TFunction>(reinterpret_cast<void (*)()>(m_pFunction));
    }

    void Release();

private:
    HMODULE m_hModule = nullptr;
    FARPROC m_pFunction = nullptr;
};
