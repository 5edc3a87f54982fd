#include "LogCapture.h"

#include <mutex>

#include "support/Logging.h"

namespace logcapture {
namespace {

std::mutex g_lock;
int g_level = 0;
std::string g_text;

void Record(int level, const WCHAR* text)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (text && level <= g_level)
        g_text += std::to_string(level) + " " + pal::ToUtf8(text) + "\n";
}

bool Enabled(int level)
{
    std::lock_guard<std::mutex> guard(g_lock);
    return level <= g_level;
}

void Reset(int level)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_level = level;
    g_text.clear();
}

}  // namespace

CCapture::CCapture(int level) { Reset(level); }
CCapture::~CCapture() { Reset(0); }

std::string CCapture::Text() const
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_text;
}

}  // namespace logcapture

void LogError(const WCHAR* text) { logcapture::Record(1, text); }
void LogWarning(const WCHAR* text) { logcapture::Record(2, text); }
void LogInfo(const WCHAR* text) { logcapture::Record(3, text); }
void LogDebug(const WCHAR* text) { logcapture::Record(4, text); }
bool IsErrorEnabled() { return logcapture::Enabled(1); }
bool IsWarningEnabled() { return logcapture::Enabled(2); }
bool IsInfoEnabled() { return logcapture::Enabled(3); }
bool IsDebugEnabled() { return logcapture::Enabled(4); }
