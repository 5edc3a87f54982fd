#include "CCaptureSession.h"

#include <utility>

#include "CodeNames.h"
#include "Platform.h"
#include "ToolText.h"

namespace vcap {
namespace {

// The size of the library's pixel buffer: no image can be larger.
constexpr uint64_t kMaxPixels = 400000;

}  // namespace

CCaptureSession::CCaptureSession(CConsole& console, uint32_t nWanted, bool bStopAtCount)
    : m_console(console),
      m_nWanted(nWanted),
      m_bStopAtCount(bStopAtCount),
      m_hNews(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
}

CCaptureSession::~CCaptureSession()
{
    if (m_hNews)
        CloseHandle(m_hNews);
}

void CCaptureSession::WaitForNews(std::chrono::milliseconds nWait)
{
    {
        const CCriticalSectionLock guard(m_state);
        if (m_bEnded || !m_qImages.empty())
            return;
    }
    // Without an event the caller's own pace stands in for it.
    if (m_hNews)
        WaitForSingleObject(m_hNews, static_cast<DWORD>(nWait.count()));
    else
        Sleep(static_cast<DWORD>(nWait.count()));
}

std::deque<CImage> CCaptureSession::TakeImages()
{
    const CCriticalSectionLock guard(m_state);
    return std::exchange(m_qImages, {});
}

bool CCaptureSession::HasEnded() const
{
    const CCriticalSectionLock guard(m_state);
    return m_bEnded;
}

uint32_t VESK_CALLBACK CCaptureSession::_OnEvent(uintptr_t, uint32_t nEvent, uintptr_t nData,
                                                 uintptr_t nContext)
{
    reinterpret_cast<CCaptureSession*>(nContext)->_Handle(nEvent, nData);
    return 0;
}

void CCaptureSession::_Handle(uint32_t nEvent, uintptr_t nData)
{
    const std::u16string sLine = ClockTime() + u"  " + vtool::EventName(nEvent);
    if (nEvent == FS_EVENT_IMAGE) {
        // The session stays alive until the end event: stopping here is safe.
        if (_OnImage(sLine, nData))
            StopFingerscanner();
        return;
    }
    m_console.Out(sLine);
    // The capture thread shows its icon before its first event.
    if (!m_bTrayShown && nEvent != FS_EVENT_CAPTURE_ENDED) {
        m_bTrayShown = true;
        const std::u16string sTray = TrayIconText();
        if (!sTray.empty())
            m_console.Out(u"              tray icon: " + sTray);
    }
    if (nEvent == FS_EVENT_CAPTURE_ENDED)
        _MarkEnded();
}

void CCaptureSession::_MarkEnded()
{
    // The main thread may destroy the session as soon as it sees the end, so
    // notify under the lock and touch nothing afterwards.
    const CCriticalSectionLock guard(m_state);
    m_bEnded = true;
    if (m_hNews)
        SetEvent(m_hNews);
}

bool CCaptureSession::_OnImage(const std::u16string& sLine, uintptr_t nData)
{
    CImage image;
    std::u16string sDetail;
    if (!_Copy(nData, image, sDetail)) {
        m_console.Out(sLine + u"  " + sDetail);
        return false;
    }
    // The line is printed under the lock so that it precedes the "saved" line.
    const CCriticalSectionLock guard(m_state);
    if (m_nWanted != 0 && m_nKept >= m_nWanted) {
        m_console.Out(sLine + u"  " + sDetail + u" (beyond the count: not saved)");
        return false;
    }
    m_console.Out(sLine + u"  " + sDetail);
    m_qImages.push_back(std::move(image));
    ++m_nKept;
    if (m_hNews)
        SetEvent(m_hNews);
    return m_bStopAtCount && m_nKept == m_nWanted;
}

bool CCaptureSession::_Copy(uintptr_t nData, CImage& image, std::u16string& sDetail)
{
    const auto* pImage = reinterpret_cast<const FingerscannerImage*>(nData);
    if (!pImage || !pImage->pixels) {
        sDetail = u"(no pixels: not saved)";
        return false;
    }
    const uint64_t nPixels = uint64_t{pImage->width} * pImage->height;
    sDetail = vtool::Decimal(pImage->width) + u" x " + vtool::Decimal(pImage->height);
    if (nPixels == 0 || nPixels > kMaxPixels) {
        sDetail += u" (not a usable size: not saved)";
        return false;
    }
    image.m_nWidth = pImage->width;
    image.m_nHeight = pImage->height;
    image.m_vPixels.assign(pImage->pixels, pImage->pixels + nPixels);
    return true;
}

}  // namespace vcap
