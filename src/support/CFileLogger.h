// The process's diagnostic log file: one file per process name in the
// configured folder, appended line by line under a machine-wide mutex shared
// by every process of that name, rolled over at 2 MiB.
#pragma once
#include <cstdint>
#include <string>

#include "support/CDiagnosticsConfig.h"
#include "support/Win32.h"

class CFileLogger {
public:
    CFileLogger();
    ~CFileLogger();
    CFileLogger(const CFileLogger&) = delete;
    CFileLogger& operator=(const CFileLogger&) = delete;

    void Error(const WCHAR* pszText);
    void Warning(const WCHAR* pszText);
    void Info(const WCHAR* pszText);
    void Debug(const WCHAR* pszText);

    uint32_t GetLevel() const { return m_config.GetLogLevel(); }
    const WString& GetLogFilePath() const { return m_sLogFilePath; }
    const WString& GetMutexName() const { return m_sMutexName; }

    bool IsMutexFree();
    bool FreeMutex();
    bool RollOverIfNeeded();
    bool InitLogFilePath();

    static constexpr uint32_t kRolloverSize = 0x200000;

private:
    void _Write(uint32_t nThreshold, const WString& sTag, const WCHAR* pszText);
    void _Append(const std::string& bytes);
    // Renames the full file away and starts an empty one, under the mutex.
    bool _RollOver();
    std::string _BuildLine(const WString& sTag, const WCHAR* pszText) const;
    void _CreateMutex();

    WString m_sLogFilePath;
    HANDLE m_hMutex = nullptr;
    WString m_sMutexName;
    const WString m_sDebugTag;
    const WString m_sInfoTag;
    const WString m_sWarningTag;
    const WString m_sErrorTag;
    CDiagnosticsConfig m_config;
};

// Module-wide: the attach handling starts the facility, the detach handling
// ends it; in between, GetInstance() creates the one logger on first use.
void InitFileLoggerFacility();
void ReleaseFileLoggerFacility();
CFileLogger* GetInstance();
