#include "support/CFileLogger.h"

#include <string>

#include "support/CFsHelper.h"
#include "support/CWinOS.h"
#include "support/Format.h"
#include "support/LocalTime.h"
#include "support/LoggerFacility.h"

namespace {

constexpr DWORD kMutexWaitMilliseconds = 100;
constexpr DWORD kMutexNameCapacity = 512;
constexpr DWORD kPathNameCapacity = 2048;

// Creates the log file when it is missing.
bool EnsureFileExists(const WString& sPath)
{
    const HANDLE hFile = CreateFileW(sPath.c_str(), GENERIC_ALL, FILE_SHARE_READ, nullptr,
                                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(hFile);
    return true;
}

// The size of the log file, which is created when missing. The size comes
// from the file's attributes rather than from an open handle: one system call
// instead of three on every line, with the same outcome.
bool GetSizeCreatingFile(const WString& sPath, uint64_t& nSize)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(sPath.c_str(), GetFileExInfoStandard, &data)) {
        if (!EnsureFileExists(sPath))
            return false;
        nSize = 0;
        return true;
    }
    nSize = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

// Text mode's rendering: each line feed becomes CR LF, and each character one
// byte. Characters up to U+00FF keep their Latin-1 byte (what the C locale of
// the Windows run-time writes); any other character becomes '?'.
void AppendTextMode(std::string& bytes, const WCHAR* pszText, size_t nLength)
{
    for (size_t i = 0; i < nLength; ++i) {
        const WCHAR c = pszText[i];
        if (c == W('\n'))
            bytes += '\r';
        bytes += static_cast<uint32_t>(c) <= 0xFF ? static_cast<char>(c) : '?';
    }
}

void AppendHex8(std::string& bytes, uint32_t nValue)
{
    static const char kDigits[] = "0123456789abcdef";
    char digits[8];
    for (int i = 7; i >= 0; --i, nValue >>= 4)
        digits[i] = kDigits[nValue & 0xF];
    bytes.append(digits, 8);
}

HANDLE OpenForAppending(const WString& sPath)
{
    return CreateFileW(sPath.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool IsFull(HANDLE hFile, uint64_t nLimit)
{
    LARGE_INTEGER size;
    return GetFileSizeEx(hFile, &size) && static_cast<uint64_t>(size.QuadPart) >= nLimit;
}

}  // namespace

CFileLogger::CFileLogger()
    : m_sDebugTag(W("DEBUG   - ")),
      m_sInfoTag(W("INFO    - ")),
      m_sWarningTag(W("WARNING - ")),
      m_sErrorTag(W("ERROR   - "))
{
    WString sModule;
    m_sMutexName = GetMainModuleBaseName(sModule, kMutexNameCapacity)
                       ? W("Global\\") + sModule
                       : WString(W("Global\\veskLOGONLoggerInst"));
    _CreateMutex();
    if (InitLogFilePath())
        RollOverIfNeeded();
}

CFileLogger::~CFileLogger()
{
    if (m_hMutex && !CloseHandle(m_hMutex))
        OutputDebugStringW((W("CloseHandle() on '") + m_sMutexName +
                            W("' Mutex failed with error: ") + FormatDecimal(GetLastError()) +
                            W("\n"))
                               .c_str());
    m_hMutex = nullptr;
    m_sMutexName.clear();
    m_sLogFilePath.clear();
}

void CFileLogger::_CreateMutex()
{
    m_hMutex = CreateMutexW(nullptr, FALSE, m_sMutexName.c_str());
    const DWORD nError = GetLastError();
    if (m_hMutex && nError == ERROR_ALREADY_EXISTS)
        OutputDebugStringW((W("CFileLogger::CFileLogger(): Info: '") + m_sMutexName +
                            W("' Mutex already exists\r\n"))
                               .c_str());
    else if (!m_hMutex && nError == ERROR_ACCESS_DENIED)
        m_hMutex = OpenMutexW(SYNCHRONIZE, FALSE, m_sMutexName.c_str());
}

bool CFileLogger::InitLogFilePath()
{
    CCriticalSectionLock lock(LoggerFacilityLock());
    const bool bUsable = m_config.Read() && m_config.IsLogOn() && m_config.GetLogLevel() < 5 &&
                         !m_config.GetLogFolder().empty() &&
                         CFsHelper::PathExists(m_config.GetLogFolder());
    if (!bUsable) {
        m_sLogFilePath.clear();
        m_config.Reset();
        return false;
    }
    WString sModule;
    if (!GetMainModuleBaseName(sModule, kPathNameCapacity))
        return false;
    const WString& sFolder = m_config.GetLogFolder();
    m_sLogFilePath = sFolder;
    if (sFolder.back() != W('\\'))
        m_sLogFilePath += W('\\');
    m_sLogFilePath += sModule.substr(0, sModule.find(W('.'))) + W(".txt");
    return true;
}

bool CFileLogger::IsMutexFree()
{
    const DWORD nResult = WaitForSingleObject(m_hMutex, kMutexWaitMilliseconds);
    if (nResult == WAIT_OBJECT_0 || nResult == WAIT_ABANDONED)
        return true;
    const DWORD nReported = nResult == WAIT_FAILED ? GetLastError() : nResult;
    OutputDebugStringW((W("CFileLogger::IsMutexFree(): WaitForSingleObject() returns: ") +
                        FormatDecimal(nReported) + W("\n"))
                           .c_str());
    return false;
}

bool CFileLogger::FreeMutex()
{
    if (ReleaseMutex(m_hMutex))
        return true;
    OutputDebugStringW((W("CFileLogger::FreeMutex(): ReleaseMutex() returns: ") +
                        FormatDecimal(GetLastError()) + W("\n"))
                           .c_str());
    return false;
}

bool CFileLogger::RollOverIfNeeded()
{
    if (m_sLogFilePath.empty())
        return false;
    uint64_t nSize = 0;
    if (!GetSizeCreatingFile(m_sLogFilePath, nSize))
        return false;
    return nSize < kRolloverSize || _RollOver();
}

bool CFileLogger::_RollOver()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    const WString sRolledName = m_sLogFilePath + W("_") + FormatCompactTime(now);
    if (!IsMutexFree())
        return false;
    const bool bRolled = MoveFileW(m_sLogFilePath.c_str(), sRolledName.c_str()) &&
                         EnsureFileExists(m_sLogFilePath);
    FreeMutex();
    return bRolled;
}

// Built straight into the bytes that go to disk: a line is written on every
// call, so it costs one allocation.
std::string CFileLogger::_BuildLine(const WString& sTag, const WCHAR* pszText) const
{
    const size_t nLength = std::char_traits<WCHAR>::length(pszText);
    std::string line;
    line.reserve(nLength + nLength / 8 + 80);
    line += "[0x";
    AppendHex8(line, GetCurrentProcessId());
    line += "][0x";
    AppendHex8(line, GetCurrentThreadId());
    line += "] ";
    SYSTEMTIME now;
    GetLocalTime(&now);
    AppendLogTime(line, now);
    line += " - ";
    AppendTextMode(line, sTag.c_str(), sTag.size());
    AppendTextMode(line, pszText, nLength);
    line += "\r\n";
    return line;
}

void CFileLogger::_Write(uint32_t nThreshold, const WString& sTag, const WCHAR* pszText)
{
    if (!pszText || !m_config.IsLogOn() || m_config.GetLogLevel() < nThreshold)
        return;
    if (!IsMutexFree())
        return;
    _Append(_BuildLine(sTag, pszText));
    FreeMutex();
}

// The size test is made on the handle that appends, under the mutex: no
// other writer can fill the file between the test and the line, and the file
// is looked up by name once per line instead of twice.
void CFileLogger::_Append(const std::string& bytes)
{
    HANDLE hFile = OpenForAppending(m_sLogFilePath);
    if (hFile != INVALID_HANDLE_VALUE && IsFull(hFile, kRolloverSize)) {
        CloseHandle(hFile);
        _RollOver();
        hFile = OpenForAppending(m_sLogFilePath);
    }
    if (hFile == INVALID_HANDLE_VALUE)
        return;
    DWORD nWritten = 0;
    WriteFile(hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &nWritten, nullptr);
    CloseHandle(hFile);
}

void CFileLogger::Error(const WCHAR* pszText) { _Write(1, m_sErrorTag, pszText); }
void CFileLogger::Warning(const WCHAR* pszText) { _Write(2, m_sWarningTag, pszText); }
void CFileLogger::Info(const WCHAR* pszText) { _Write(3, m_sInfoTag, pszText); }
void CFileLogger::Debug(const WCHAR* pszText) { _Write(4, m_sDebugTag, pszText); }
