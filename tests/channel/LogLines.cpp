// The channel tests' logger: error and debug lines are kept for inspection in
// place of the library's logger.
#include "LogLines.h"

#include <mutex>

#include "support/Logging.h"

namespace loglines {
namespace {

std::mutex g_lock;
std::vector<std::string> g_kept[2];  // errors, debug lines

void Keep(int nKind, const WCHAR* text)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_kept[nKind].push_back(pal::ToUtf8(text));
}

std::vector<std::string> Kept(int nKind)
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_kept[nKind];
}

}  // namespace

void Clear()
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_kept[0].clear();
    g_kept[1].clear();
}

std::vector<std::string> Errors() { return Kept(0); }
std::vector<std::string> Debug() { return Kept(1); }

}  // namespace loglines

void LogError(const WCHAR* text) { loglines::Keep(0, text); }
void LogWarning(const WCHAR*) {}
void LogInfo(const WCHAR*) {}
void LogDebug(const WCHAR* text) { loglines::Keep(1, text); }
bool IsErrorEnabled() { return true; }
bool IsWarningEnabled() { return false; }
bool IsInfoEnabled() { return false; }
bool IsDebugEnabled() { return true; }
