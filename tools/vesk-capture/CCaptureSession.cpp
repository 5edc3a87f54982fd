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
    : m_console(console), m_nWanted(nWanted), m_bStopAtCount(bStopAtCount)
{
}

void CCaptureSession::WaitForNews(std::chrono::milliseconds nWait)
{
    std::unique_lock<std::mutex> lock(m_mtxState);
    m_cvNews.wait_for(lock, nWait, [this] { return m_bEnded || !m_qImages.empty(); });
}

std::deque<CImage> CCaptureSession::TakeImages()
{
    const std::lock_guard<std::mutex> guard(m_mtxState);
    return std::exchange(m_qImages, {});
}

bool CCaptureSession::HasEnded() const
{
    const std::lock_guard<std::mutex> guard(m_mtxState);
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
    if (nEvent == FS_EVENT_CAPTURE_ENDED)
        _MarkEnded();
}

void CCaptureSession::_MarkEnded()
{
    // The main thread may destroy the session as soon as it sees the end, so
    // notify under the lock and touch nothing afterwards.
    const std::lock_guard<std::mutex> guard(m_mtxState);
    m_bEnded = true;
    m_cvNews.notify_all();
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
    const std::lock_guard<std::mutex> guard(m_mtxState);
    if (m_nWanted != 0 && m_nKept >= m_nWanted) {
        m_console.Out(sLine + u"  " + sDetail + u" (beyond the count: not saved)");
        return false;
    }
    m_console.Out(sLine + u"  " + sDetail);
    m_qImages.push_back(std::move(image));
    ++m_nKept;
    m_cvNews.notify_all();
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
