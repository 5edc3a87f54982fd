#include "LogCapture.h"

#include <mutex>
#include <utility>

#include "support/Logging.h"

namespace {

std::mutex g_lock;
logcapture::Lines g_lines;

void Keep(std::vector<std::string> logcapture::Lines::*kind, const WCHAR* text)
{
    const std::lock_guard<std::mutex> guard(g_lock);
    (g_lines.*kind).push_back(pal::ToUtf8(text));
}

}  // namespace

logcapture::Lines logcapture::Take()
{
    const std::lock_guard<std::mutex> guard(g_lock);
    return std::exchange(g_lines, {});
}

void LogError(const WCHAR* text) { Keep(&logcapture::Lines::errors, text); }
void LogWarning(const WCHAR*) {}
void LogInfo(const WCHAR*) {}
void LogDebug(const WCHAR* text) { Keep(&logcapture::Lines::debug, text); }
bool IsErrorEnabled() { return true; }
bool IsWarningEnabled() { return false; }
bool IsInfoEnabled() { return false; }
bool IsDebugEnabled() { return true; }
