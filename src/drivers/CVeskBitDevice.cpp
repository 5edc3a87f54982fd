#include "drivers/CVeskBitDevice.h"

#include <algorithm>
#include <vector>

#include "drivers/VeskBit2.h"
#include "image/CRawImg.h"

namespace {

constexpr DWORD kPollPauseMilliseconds = 50;

int32_t SignExtend(uint16_t nStatus) { return static_cast<int16_t>(nStatus); }

uint32_t ValidPriority(uint32_t nPriority) { return nPriority <= 2 ? nPriority : 0; }

}  // namespace

CVeskBitDevice::CVeskBitDevice(uint32_t nPriority, uint32_t nOption)
    : m_nPriority(nPriority), m_nOption(nOption), m_pHandleCell(std::make_unique<uint32_t>(0))
{
}

CVeskBitDevice::~CVeskBitDevice()
{
    CloseSensor();
    m_nPriority = 0;
    m_nOption = 0;
}

void CVeskBitDevice::SetPriorityAndOption(uint32_t nPriority, uint32_t nOption)
{
    CCriticalSectionLock lock(m_lock);
    m_nPriority = ValidPriority(nPriority);
    m_nOption = nOption;
}

bool CVeskBitDevice::IsSensorAttached()
{
    CCriticalSectionLock lock(m_lock);
    return VeskBitDeviceAttached() != 0;
}

void CVeskBitDevice::CloseSensor()
{
    CCriticalSectionLock lock(m_lock);
    if (m_bOpened && VeskBitClose(m_pHandleCell.get()) == 0)
        m_bOpened = false;
}

uint16_t CVeskBitDevice::_Open()
{
    CCriticalSectionLock lock(m_lock);
    if (m_bOpened)
        return 0;
    const uint16_t nStatus = VeskBitOpenWithPriorityEx(m_pHandleCell.get(), m_nPriority, 0,
                                                       kVeskBitWidth, kVeskBitHeight, m_nOption);
    if (nStatus == 0)
        m_bOpened = true;
    return nStatus;
}

uint16_t CVeskBitDevice::_Poll(uint8_t* pBlock)
{
    CCriticalSectionLock lock(m_lock);
    return VeskBitGetImage(m_pHandleCell.get(), pBlock);
}

int32_t CVeskBitDevice::_Deliver(const uint8_t* pBlock, CRawImg* pImage)
{
    CMyByteArray pixels(kVeskBitWidth * kVeskBitHeight);
    std::copy_n(pBlock + kVeskBitSkippedBytes, pixels.GetSize(), pixels.GetData());
    if (!pImage || !pImage->SetImage(pixels, kVeskBitWidth, kVeskBitHeight, 8))
        return SignExtend(kVeskBitEnd);
    return 0;
}

// The lock is held for each library call only, never across the pause, so
// that CloseSensor from another thread gets in between two polls.
int32_t CVeskBitDevice::CaptureImage(CRawImg* pImage)
{
    if (!IsSensorAttached())
        return FS_STATUS_NO_SENSOR;
    const uint16_t nOpen = _Open();
    if (nOpen != 0)
        return SignExtend(nOpen);
    // A stop that came before the open found nothing to close: honour it
    // here, or the poll would wait for a finger nobody expects.
    if (IsEndRequested(this)) {
        CloseSensor();
        return SignExtend(kVeskBitEnd);
    }
    std::vector<uint8_t> block(kVeskBitBlockSize, 0);
    for (;;) {
        const uint16_t nStatus = _Poll(block.data());
        Sleep(kPollPauseMilliseconds);
        switch (nStatus) {
        case kVeskBitImage:
            return _Deliver(block.data(), pImage);
        case kVeskBitBrokenOff:
            CloseSensor();
            return SignExtend(nStatus);
        case kVeskBitEndQuietly:
        case kVeskBitEnd:
        case kVeskBitRejected:
            return SignExtend(nStatus);
        default:
            // 0x2000 (no image yet) and any status the library may add: the
            // poll ends only on the statuses above.
            break;
        }
    }
}
