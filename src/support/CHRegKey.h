// Owner of one open registry key; closes it when it goes out of scope.
#pragma once
#include "support/Win32.h"

class CHRegKey {
public:
    CHRegKey() = default;
    ~CHRegKey() { _Release(); }
    CHRegKey(const CHRegKey&) = delete;
    CHRegKey& operator=(const CHRegKey&) = delete;

    HKEY Get() const { return m_hKey; }
    // For an open function to store a new handle; the caller makes sure no
    // key is held (OpenKey closes it first).
    HKEY* GetAddress() { return &m_hKey; }
    bool IsOpen() const { return m_hKey != nullptr; }
    // Plain close, nothing logged: used when a key object is reused.
    void Close();

private:
    void _Release();

    HKEY m_hKey = nullptr;
};
