#include "common/LogHooks.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "pal/text/text.h"
#include "support/Logging.h"

namespace {

std::mutex g_logLock;
std::vector<testlog::Line> g_log;

void Keep(int level, const WCHAR* text)
{
    std::lock_guard<std::mutex> guard(g_logLock);
    g_log.push_back({level, text ? pal::ToUtf8(text) : std::string(), GetCurrentThreadId()});
}

}  // namespace

void LogError(const WCHAR* text) { Keep(1, text); }
void LogWarning(const WCHAR* text) { Keep(2, text); }
void LogInfo(const WCHAR* text) { Keep(3, text); }
void LogDebug(const WCHAR* text) { Keep(4, text); }
bool IsErrorEnabled() { return true; }
bool IsWarningEnabled() { return true; }
bool IsInfoEnabled() { return true; }
bool IsDebugEnabled() { return true; }

namespace testlog {

std::vector<Line> TakeLines()
{
    std::lock_guard<std::mutex> guard(g_logLock);
    return std::exchange(g_log, {});
}

Lines Take(int level)
{
    Lines lines;
    for (const Line& line : TakeLines())
        if (level == 0 || line.level == level)
            lines.push_back(line.text);
    return lines;
}

bool Contains(const Lines& lines, const std::string& text) { return Count(lines, text) > 0; }

size_t Count(const Lines& lines, const std::string& text)
{
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), text));
}

}  // namespace testlog
