// The logger facility and the eight logging functions of the library.
#include <atomic>

#include "support/CFileLogger.h"
#include "support/CWinOS.h"
#include "support/LoggerFacility.h"
#include "support/Logging.h"

namespace {

constexpr DWORD kModuleNameCapacity = 2048;

// Plain pointers, not owners with destructors: the detach handling releases
// the facility from another file's static object, whose destruction may come
// after this file's objects would have been destroyed.
std::atomic<bool> g_bInitialized{false};
CCriticalSection* g_pLock = nullptr;
CFileLogger* g_pInstance = nullptr;

WString ContextName()
{
    WString sName;
    return GetMainModuleBaseName(sName, kModuleNameCapacity) ? sName
                                                            : WString(W("ModuleBaseName not readable"));
}

}  // namespace

CCriticalSection& LoggerFacilityLock() { return *g_pLock; }

void InitFileLoggerFacility()
{
    if (g_bInitialized.load() && g_pLock)
        return;
    g_pLock = new CCriticalSection;
    g_bInitialized.store(true);
    GetInstance();
    LogDebug((W("FileLogger facility initialized for context: ") + ContextName()).c_str());
}

void ReleaseFileLoggerFacility()
{
    if (!g_bInitialized.load())
        return;
    LogDebug((W("FileLogger facility destroyed for context: ") + ContextName()).c_str());
    delete g_pInstance;
    g_pInstance = nullptr;
    g_bInitialized.store(false);
    delete g_pLock;
    g_pLock = nullptr;
}

CFileLogger* GetInstance()
{
    if (!g_bInitialized.load() || !g_pLock)
        return nullptr;
    CCriticalSectionLock lock(*g_pLock);
    if (!g_pInstance)
        g_pInstance = new CFileLogger;
    return g_pInstance;
}

void LogError(const WCHAR* pszText)
{
    if (CFileLogger* pLogger = GetInstance())
        pLogger->Error(pszText);
}

void LogWarning(const WCHAR* pszText)
{
    if (CFileLogger* pLogger = GetInstance())
        pLogger->Warning(pszText);
}

void LogInfo(const WCHAR* pszText)
{
    if (CFileLogger* pLogger = GetInstance())
        pLogger->Info(pszText);
}

void LogDebug(const WCHAR* pszText)
{
    if (CFileLogger* pLogger = GetInstance())
        pLogger->Debug(pszText);
}

namespace {

bool LevelAtLeast(uint32_t nThreshold)
{
    const CFileLogger* pLogger = GetInstance();
    return pLogger && pLogger->GetLevel() >= nThreshold;
}

}  // namespace

bool IsErrorEnabled() { return LevelAtLeast(1); }
bool IsWarningEnabled() { return LevelAtLeast(2); }
bool IsInfoEnabled() { return LevelAtLeast(3); }
bool IsDebugEnabled() { return LevelAtLeast(4); }
