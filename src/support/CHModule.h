// Owner of one loaded library, freed when released or destroyed.
#pragma once
#include "support/Win32.h"

class CHModule {
public:
    CHModule() = default;
    ~CHModule() { _Release(); }
    CHModule(const CHModule&) = delete;
    CHModule& operator=(const CHModule&) = delete;

    // Frees the held library, then holds hModule when it is not null.
    void Attach(HMODULE hModule);
    HMODULE Get() const { return m_hModule; }
    void Release() { _Release(); }

private:
    void _Release();

    HMODULE m_hModule = nullptr;
};
