#include "CCaptureRun.h"

#include <algorithm>
#include <cstdlib>

#include "ExitCode.h"
#include "CodeNames.h"
#include "Platform.h"
#include "ToolText.h"

namespace vcap {
namespace {

constexpr auto kPoll = std::chrono::milliseconds(100);
// A stop ends a capture within a poll or two of the scanner (50 ms each),
// within a second even at a sanitizer's pace: a capture still running this
// long after its stop is not going to end, and the tool leaves without it.
constexpr auto kEndWait = std::chrono::seconds(5);
// For tests: delays the library's stop by this many milliseconds, standing in
// for a scanner library whose stop does not return.
const char* const kStopDelayVariable = "VESK_CAPTURE_TEST_STOP_DELAY_MS";

unsigned __stdcall _CallStop(void*)
{
    if (const char* pszDelay = std::getenv(kStopDelayVariable))
        Sleep(static_cast<DWORD>(std::strtoul(pszDelay, nullptr, 10)));
    StopFingerscanner();
    return 0;
}

// The stop on a thread of its own, so that a stop that does not return
// cannot keep the tool from ending. Without a thread it is called here.
HANDLE _StartStopCall()
{
    unsigned nThreadId = 0;
    const uintptr_t hThread = _beginthreadex(nullptr, 0, _CallStop, nullptr, 0, &nThreadId);
    if (hThread == 0)
        _CallStop(nullptr);
    return reinterpret_cast<HANDLE>(hThread);
}

}  // namespace

CCaptureRun::CCaptureRun(const CCaptureSettings& settings, const std::filesystem::path& folder,
                         CConsole& console, CCaptureSession& session)
    : m_settings(settings),
      m_folder(folder),
      m_console(console),
      m_session(session),
      m_nNumber(NextImageNumber(folder))
{
}

CCaptureRun::~CCaptureRun()
{
    if (m_hStopCall)
        CloseHandle(m_hStopCall);
}

int CCaptureRun::Follow()
{
    const Clock::time_point tDeadline =
        m_settings.m_nTimeoutSeconds == 0
            ? Clock::time_point::max()
            : Clock::now() + std::chrono::seconds(m_settings.m_nTimeoutSeconds);
    while (!m_session.HasEnded()) {
        m_session.WaitForNews(kPoll);
        _SaveWaiting();
        _CheckStops(tDeadline);
    }
    _SaveWaiting();
    _AwaitStopCall();
    return _Result();
}

void CCaptureRun::_SaveWaiting()
{
    for (const CImage& image : m_session.TakeImages()) {
        if (m_eStop == EStop::SaveFailed)
            return;
        const std::u16string sProblem = _Save(image);
        if (!sProblem.empty()) {
            m_console.Err(u"ERROR: " + sProblem);
            _Stop(EStop::SaveFailed);
            return;
        }
        if (++m_nSaved == m_settings.m_nCount && m_eStop == EStop::None)
            _Stop(EStop::CountReached);
    }
}

// A number already taken, even by another vesk-capture saving into the same
// folder at this moment, is skipped: a user's picture is never replaced.
std::u16string CCaptureRun::_Save(const CImage& image)
{
    using EOutcome = vtool::CWriteResult::EOutcome;
    for (; m_nNumber <= kLastImageNumber; ++m_nNumber) {
        const std::filesystem::path path =
            m_folder / ImageFileName(m_nNumber, m_settings.m_eFormat);
        const vtool::CWriteResult result = WriteImageFile(path, image, m_settings.m_eFormat);
        if (result.m_eOutcome == EOutcome::Failed)
            return result.m_sProblem;
        if (result.m_eOutcome == EOutcome::Written) {
            m_console.Out(u"saved " + path.u16string());
            ++m_nNumber;
            return {};
        }
    }
    return u"no image number is left in '" + m_folder.u16string() + u"'.";
}

void CCaptureRun::_CheckStops(Clock::time_point tDeadline)
{
    if (m_eStop == EStop::None && WasInterrupted()) {
        m_console.Out(u"Ctrl-C: stopping the capture");
        _Stop(EStop::Interrupt);
    } else if (m_eStop == EStop::None && Clock::now() >= tDeadline) {
        m_console.Out(u"time-out: stopping the capture");
        _Stop(EStop::TimeOut);
    } else if (m_eStop != EStop::None && Clock::now() - m_tStop > kEndWait &&
               !m_session.HasEnded()) {
        _Abandon();
    }
}

// The capture has ended; a stop call still inside the library gets the rest
// of its time.
void CCaptureRun::_AwaitStopCall()
{
    if (!m_hStopCall)
        return;
    const auto nLeft = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::max(Clock::duration::zero(), m_tStop + kEndWait - Clock::now()));
    if (WaitForSingleObject(m_hStopCall, static_cast<DWORD>(nLeft.count())) != WAIT_OBJECT_0)
        _Abandon();
}

// The library's threads may still call back into the session: leave without
// running destructors, with the status of the stop's reason.
void CCaptureRun::_Abandon()
{
    const std::u16string sEnd = u"the capture did not end within " +
                                vtool::Decimal(kEndWait.count()) + u" s of the stop; " +
                                _SavedCount() + u".";
    if (m_eStop == EStop::TimeOut) {
        m_console.Err(u"ERROR: time-out after " + vtool::Decimal(m_settings.m_nTimeoutSeconds) +
                      u" s, and " + sEnd);
        std::_Exit(kExitTimedOut);
    }
    m_console.Err(u"ERROR: " + sEnd);
    std::_Exit(kExitFailed);
}

// The session already stopped a continuous capture at its last image, and
// a single capture ends by itself; the other reasons stop it here.
void CCaptureRun::_Stop(EStop eReason)
{
    m_eStop = eReason;
    m_tStop = Clock::now();
    if (eReason != EStop::CountReached && !m_hStopCall)
        m_hStopCall = _StartStopCall();
}

std::u16string CCaptureRun::_SavedCount() const
{
    const uint32_t nWanted = m_settings.m_nCount;
    return nWanted == 0 ? vtool::CountImages(m_nSaved) + u" saved"
                        : vtool::Decimal(m_nSaved) + u" of " + vtool::CountImages(nWanted) +
                              u" saved";
}

int CCaptureRun::_Result() const
{
    const uint32_t nWanted = m_settings.m_nCount;
    const std::u16string sSaved = _SavedCount();
    if (m_eStop == EStop::SaveFailed)
        return kExitFailed;
    if ((nWanted != 0 && m_nSaved == nWanted) ||
        (nWanted == 0 && m_eStop == EStop::Interrupt)) {
        m_console.Out(sSaved + u".");
        return kExitDone;
    }
    if (m_eStop == EStop::TimeOut) {
        m_console.Err(u"ERROR: time-out after " + vtool::Decimal(m_settings.m_nTimeoutSeconds) +
                      u" s; " + sSaved + u".");
        return kExitTimedOut;
    }
    m_console.Err(u"ERROR: the capture ended early" +
                  std::u16string(m_eStop == EStop::Interrupt ? u" (Ctrl-C)" : u"") + u"; " +
                  sSaved + u".");
    return kExitFailed;
}

}  // namespace vcap
