// The channel tests' logger: error and debug lines are kept for inspection in
// place of the library's logger.
#include "LogLines.h"

#include <mutex>
#include <utility>

#include "support/Logging.h"

namespace {

std::mutex g_lock;
std::vector<std::string> g_kept[2];  // errors, debug lines

void Keep(int nKind, const WCHAR* text)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_kept[nKind].push_back(pal::ToUtf8(text));
}

std::vector<std::string> Take(int nKind, bool bClear)
{
    std::lock_guard<std::mutex> guard(g_lock);
    return bClear ? std::exchange(g_kept[nKind], {}) : g_kept[nKind];
}

}  // namespace

void loglines::Clear() { Take(0, true); Take(1, true); }
std::vector<std::string> loglines::Errors() { return Take(0, false); }
std::vector<std::string> loglines::Debug() { return Take(1, false); }

void LogError(const WCHAR* text) { Keep(0, text); }
void LogWarning(const WCHAR*) {}
void LogInfo(const WCHAR*) {}
void LogDebug(const WCHAR* text) { Keep(1, text); }
bool IsErrorEnabled() { return true; }
bool IsWarningEnabled() { return false; }
bool IsInfoEnabled() { return false; }
bool IsDebugEnabled() { return true; }
