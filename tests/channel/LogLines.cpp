// The channel tests' logger: error and debug lines are kept for inspection in place of
// the library's logger.
#include "LogLines.h"

#include <mutex>

#include "support/Logging.h"

namespace loglines {
namespace {
std::mutex g_lock;
std::vector<std::string> g_lines;
std::vector<std::string> g_debug;
} // namespace

void Clear()
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_lines.clear();
    g_debug.clear();
}

std::vector<std::string> Errors()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_lines;
}

std::vector<std::string> Debug()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_debug;
}

} // namespace loglines

void LogError(const WCHAR* text)
{
    std::lock_guard<std::mutex> guard(loglines::g_lock);
    loglines::g_lines.push_back(pal::ToUtf8(text));
}
void LogWarning(const WCHAR*) {}
void LogInfo(const WCHAR*) {}
void LogDebug(const WCHAR* text)
{
    std::lock_guard<std::mutex> guard(loglines::g_lock);
    loglines::g_debug.push_back(pal::ToUtf8(text));
}
bool IsErrorEnabled() { return true; }
bool IsWarningEnabled() { return false; }
bool IsInfoEnabled() { return false; }
bool IsDebugEnabled() { return true; }
