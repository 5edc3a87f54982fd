// The registry value the library reads its diagnostics configuration from,
// in the 64-bit view as the library opens it.
#pragma once
#include <string>

#include "support/CMyByteArray.h"
#include "support/Win32.h"

namespace vadmin {

enum class EStoredState { Present, NoKey, NoValue };

struct CStoredValue {
    EStoredState m_eState = EStoredState::NoKey;
    DWORD m_nType = REG_NONE;
    CMyByteArray m_data;
};

// HKEY_LOCAL_MACHINE\...\Configuration, for messages.
std::u16string StoredValuePath();
std::u16string StoredKeyPath();

// Throw CToolError with the Win32 code when the registry fails otherwise.
CStoredValue ReadStoredValue();
void WriteStoredValue(const CMyByteArray& record);

// "REG_BINARY" and its kin, or "type N".
std::u16string TypeName(DWORD nType);

}  // namespace vadmin
