#include "Platform.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>

#include "support/Win32.h"
#endif

namespace vcap {
namespace {

// Lock-free, so that a signal handler may set it.
std::atomic<bool> g_bInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

#ifdef _WIN32

BOOL WINAPI _OnConsoleControl(DWORD nType)
{
    if (nType != CTRL_C_EVENT && nType != CTRL_BREAK_EVENT)
        return FALSE;
    // FALSE hands a second Ctrl-C to the default handler, which ends the process.
    return g_bInterrupted.exchange(true) ? FALSE : TRUE;
}

void _InstallHandler() { SetConsoleCtrlHandler(_OnConsoleControl, TRUE); }

std::tm _LocalTime(std::time_t nTime)
{
    std::tm parts{};
    localtime_s(&parts, &nTime);
    return parts;
}

#else

void _OnSignal(int) { g_bInterrupted = true; }

void _InstallHandler()
{
    struct sigaction action {};
    action.sa_handler = _OnSignal;
    // SA_RESETHAND: a second Ctrl-C gets the default action and ends the
    // process. SA_RESTART: the library's blocking calls do not see EINTR.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

std::tm _LocalTime(std::time_t nTime)
{
    std::tm parts{};
    localtime_r(&nTime, &parts);
    return parts;
}

#endif

}  // namespace

void CatchInterrupt() { _InstallHandler(); }

bool WasInterrupted() { return g_bInterrupted; }

std::u16string ClockTime()
{
    using namespace std::chrono;
    const system_clock::time_point now = system_clock::now();
    const auto nMillis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    const std::tm parts = _LocalTime(system_clock::to_time_t(now));
    char szText[16];
    std::snprintf(szText, sizeof szText, "%02d:%02d:%02d.%03d", parts.tm_hour, parts.tm_min,
                  parts.tm_sec, static_cast<int>(nMillis));
    return std::u16string(szText, szText + std::char_traits<char>::length(szText));
}

std::u16string TrayIconText()
{
#ifdef _WIN32
    return std::u16string();  // the shell's own area, seen on the screen
#else
    for (const pal::CNotifyIcon& icon : pal::NotificationAreaIcons()) {
        if (icon.m_nProcessId != static_cast<DWORD>(getpid()))
            continue;
        std::u16string sText = icon.m_sTip;
        for (size_t n = sText.find(u"\r\n"); n != std::u16string::npos; n = sText.find(u"\r\n"))
            sText.replace(n, 2, u" | ");
        return sText;
    }
    return std::u16string();
#endif
}

}  // namespace vcap
