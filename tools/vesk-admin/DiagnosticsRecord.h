// The library's diagnostics configuration record in both directions: the
// bytes for given settings, and for stored bytes either the settings or the
// field and rule that make the library refuse them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "support/CMyByteArray.h"
#include "support/Win32.h"

namespace vadmin {

struct CDiagnosticsSettings {
    bool m_bAuxOn = false;
    uint32_t m_nAuxMode = 0;
    WString m_sAuxFolder;
    bool m_bLogOn = false;
    uint32_t m_nLogLevel = 0;
    WString m_sLogFolder;
};

CMyByteArray EncodeRecord(const CDiagnosticsSettings& settings);

// Reads the fields exactly as the library does. False when it would refuse
// the bytes; sProblem then names the field and what is wrong with it.
bool DecodeRecord(const CMyByteArray& record, CDiagnosticsSettings& settings,
                  std::u16string& sProblem);

// The rules the library checks before it logs; one phrase per broken rule,
// none when logging would work as configured.
std::vector<std::u16string> BrokenRules(const CDiagnosticsSettings& settings);

}  // namespace vadmin
