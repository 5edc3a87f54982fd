#include "support/CHRegKey.h"

#include "support/Format.h"
#include "support/Logging.h"

void CHRegKey::Close()
{
    if (m_hKey)
        RegCloseKey(m_hKey);
    m_hKey = nullptr;
}

void CHRegKey::_Release()
{
    if (!m_hKey)
        return;
    const LSTATUS nResult = RegCloseKey(m_hKey);
    if (nResult != ERROR_SUCCESS && IsErrorEnabled())
        LogError((W("CHRegKey::_Release(): RegCloseKey() error: ") +
                  FormatHex32(static_cast<uint32_t>(nResult))).c_str());
    m_hKey = nullptr;
}
