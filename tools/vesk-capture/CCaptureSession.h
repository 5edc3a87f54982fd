// What the library's capture thread tells the main thread. The callback
// prints each event as it arrives and copies each image, since the library
// frees the pixels when the callback returns; the main thread saves them.
#pragma once
#include <chrono>
#include <cstdint>
#include <deque>

#include "CConsole.h"
#include "ImageFile.h"
#include "support/CCriticalSection.h"
#include "veskSensor.h"

namespace vcap {

class CCaptureSession {
public:
    // nWanted 0: keep every image. With bStopAtCount the session stops the
    // capture itself at the nWanted-th image, before another one can follow.
    CCaptureSession(CConsole& console, uint32_t nWanted, bool bStopAtCount);
    ~CCaptureSession();
    CCaptureSession(const CCaptureSession&) = delete;
    CCaptureSession& operator=(const CCaptureSession&) = delete;

    static FingerscannerCallback Callback() { return &CCaptureSession::_OnEvent; }
    uintptr_t Context() { return reinterpret_cast<uintptr_t>(this); }

    // Returns when an image may be waiting, the capture has ended, or after nWait.
    void WaitForNews(std::chrono::milliseconds nWait);
    std::deque<CImage> TakeImages();
    bool HasEnded() const;

private:
    static uint32_t VESK_CALLBACK _OnEvent(uintptr_t nFirst, uint32_t nEvent, uintptr_t nData,
                                           uintptr_t nContext);
    void _Handle(uint32_t nEvent, uintptr_t nData);
    // False, with the reason, for an image that cannot be copied.
    static bool _Copy(uintptr_t nData, CImage& image, std::u16string& sDetail);
    void _MarkEnded();
    // Prints and queues the image; true when it completes the count and the
    // capture is to stop.
    bool _OnImage(const std::u16string& sLine, uintptr_t nData);

    CConsole& m_console;
    const uint32_t m_nWanted;
    const bool m_bStopAtCount;
    mutable CCriticalSection m_state;
    HANDLE m_hNews;  // automatic event: an image is queued or the capture ended
    std::deque<CImage> m_qImages;
    uint32_t m_nKept = 0;
    bool m_bEnded = false;
    bool m_bTrayShown = false;  // the library's thread alone touches it
};

}  // namespace vcap
