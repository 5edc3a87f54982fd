// GoogleTest's Notification on Win32 events: the win32 thread model of the
// MinGW-w64 compilers has no std::mutex or std::condition_variable.
#pragma once
#include <windows.h>
#define GTEST_HAS_NOTIFICATION_ 1
namespace testing {
namespace internal {
class Notification {
public:
    Notification() : m_hEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(m_hEvent); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { SetEvent(m_hEvent); }
    void WaitForNotification() { WaitForSingleObject(m_hEvent, INFINITE); }

private:
    HANDLE m_hEvent;
};
} // namespace internal
} // namespace testing
