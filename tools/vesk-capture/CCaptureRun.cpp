#include "CCaptureRun.h"

#include <cstdlib>

#include "ExitCode.h"
#include "CodeNames.h"
#include "Platform.h"
#include "ToolText.h"

namespace vcap {
namespace {

constexpr auto kPoll = std::chrono::milliseconds(100);
constexpr auto kEndWait = std::chrono::seconds(10);

}  // namespace

CCaptureRun::CCaptureRun(const CCaptureSettings& settings, const std::filesystem::path& folder,
                         CConsole& console, CCaptureSession& session)
    : m_settings(settings), m_folder(folder), m_console(console), m_session(session)
{
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
    return _Result();
}

void CCaptureRun::_SaveWaiting()
{
    for (const CImage& image : m_session.TakeImages()) {
        if (m_eStop == EStop::SaveFailed)
            return;
        const std::filesystem::path path =
            m_folder / ImageFileName(m_nSaved + 1, m_settings.m_eFormat);
        if (!WriteImageFile(path, image, m_settings.m_eFormat)) {
            m_console.Err(u"ERROR: cannot write '" + path.u16string() + u"'.");
            _Stop(EStop::SaveFailed);
            return;
        }
        m_console.Out(u"saved " + path.u16string());
        if (++m_nSaved == m_settings.m_nCount && m_eStop == EStop::None)
            _Stop(EStop::CountReached);
    }
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
        m_console.Err(u"ERROR: the capture did not end within 10 seconds of the stop.");
        // The library's thread may still call back into the session: leave
        // without running destructors.
        std::_Exit(kExitFailed);
    }
}

// The session already stopped a continuous capture at its last image, and
// a single capture ends by itself; the other reasons stop it here.
void CCaptureRun::_Stop(EStop eReason)
{
    m_eStop = eReason;
    m_tStop = Clock::now();
    if (eReason != EStop::CountReached)
        StopFingerscanner();
}

int CCaptureRun::_Result() const
{
    const uint32_t nWanted = m_settings.m_nCount;
    const std::u16string sSaved = nWanted == 0
                                      ? vtool::CountImages(m_nSaved) + u" saved"
                                      : vtool::Decimal(m_nSaved) + u" of " +
                                            vtool::CountImages(nWanted) + u" saved";
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
