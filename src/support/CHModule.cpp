#include "support/CHModule.h"

#include "support/Format.h"
#include "support/Logging.h"

void CHModule::Attach(HMODULE hModule)
{
    _Release();
    if (hModule)
        m_hModule = hModule;
}

void CHModule::_Release()
{
    if (!m_hModule)
        return;
    if (!FreeLibrary(m_hModule) && IsErrorEnabled())
        LogError((W("CHModule::_Release(): FreeLibrary() error: ") + FormatHex32(GetLastError()))
                     .c_str());
    m_hModule = nullptr;
}
