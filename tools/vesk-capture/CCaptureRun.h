// One started capture, followed from the main thread until it ends: saves
// the images the session hands over, stops on Ctrl-C, at the time-out or
// when an image cannot be written, and turns the outcome into the exit status.
#pragma once
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "CCaptureSession.h"
#include "CConsole.h"
#include "CaptureOptions.h"

namespace vcap {

class CCaptureRun {
public:
    CCaptureRun(const CCaptureSettings& settings, const std::filesystem::path& folder,
                CConsole& console, CCaptureSession& session);
    ~CCaptureRun();
    CCaptureRun(const CCaptureRun&) = delete;
    CCaptureRun& operator=(const CCaptureRun&) = delete;

    int Follow();

private:
    using Clock = std::chrono::steady_clock;
    enum class EStop { None, CountReached, Interrupt, TimeOut, SaveFailed };

    void _SaveWaiting();
    // Empty when saved under the next free number, else the error line.
    std::u16string _Save(const CImage& image);
    void _CheckStops(Clock::time_point tDeadline);
    void _Stop(EStop eReason);
    void _AwaitStopCall();
    [[noreturn]] void _Abandon();
    std::u16string _SavedCount() const;
    int _Result() const;

    const CCaptureSettings& m_settings;
    const std::filesystem::path m_folder;
    CConsole& m_console;
    CCaptureSession& m_session;
    uint32_t m_nSaved = 0;
    uint32_t m_nNumber;  // the next image's number, unless another file took it
    EStop m_eStop = EStop::None;
    Clock::time_point m_tStop;
    HANDLE m_hStopCall = nullptr;  // the thread that calls the library's stop
};

}  // namespace vcap
