// The administrator's diagnostics settings: the binary "Configuration" value
// under HKLM\SOFTWARE\vesk\Diagnostics, read once per load.
#pragma once
#include <cstdint>

#include "support/CMyByteArray.h"
#include "support/Win32.h"

class CDiagnosticsConfig {
public:
    CDiagnosticsConfig();

    // Both switches off, mode and level 0, folders empty.
    void Reset();
    // Reads and validates the stored record; false leaves logging off.
    bool Read();
    // Parses one record as stored; false (fields reset) on any malformed field.
    bool Parse(const CMyByteArray& record);
    bool Validate() const;

    // The stored form of a configuration, as an administrator's tool writes it.
    static CMyByteArray BuildRecord(bool bAuxSwitch, uint32_t nAuxMode, const WString& sAuxFolder,
                                    bool bLogSwitch, uint32_t nLogLevel, const WString& sLogFolder);

    bool IsLogOn() const { return m_bLogSwitch; }
    uint32_t GetLogLevel() const { return m_nLogLevel; }
    const WString& GetLogFolder() const { return m_sLogFolder; }
    bool IsAuxiliaryOn() const { return m_bAuxSwitch; }
    uint32_t GetAuxiliaryMode() const { return m_nAuxMode; }
    const WString& GetAuxiliaryFolder() const { return m_sAuxFolder; }
    const WString& GetKeyPath() const { return m_sKeyPath; }
    const WString& GetValueName() const { return m_sValueName; }

private:
    bool m_bAuxSwitch = false;
    uint32_t m_nAuxMode = 0;
    WString m_sAuxFolder;
    bool m_bLogSwitch = false;
    uint32_t m_nLogLevel = 0;
    WString m_sLogFolder;
    const WString m_sKeyPath;
    const WString m_sValueName;
};
