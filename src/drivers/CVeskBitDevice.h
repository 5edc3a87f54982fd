// Driver of the maker's own swipe scanner, through veskbit2.dll.
#pragma once
#include <cstdint>
#include <memory>

#include "drivers/CSensor.h"
#include "support/CCriticalSection.h"

class CVeskBitDevice : public CSensor {
public:
    CVeskBitDevice(uint32_t nPriority, uint32_t nOption);
    ~CVeskBitDevice() override;
    CVeskBitDevice(const CVeskBitDevice&) = delete;
    CVeskBitDevice& operator=(const CVeskBitDevice&) = delete;

    int32_t CaptureImage(CRawImg* pImage) override;
    void CloseSensor() override;
    bool IsSensorAttached() override;

    // A priority other than 0, 1 or 2 is taken as 0.
    void SetPriorityAndOption(uint32_t nPriority, uint32_t nOption);

private:
    uint16_t _Open();
    uint16_t _Poll(uint8_t* pBlock);
    int32_t _Deliver(const uint8_t* pBlock, CRawImg* pImage);

    uint32_t m_nPriority;
    uint32_t m_nOption;
    std::unique_ptr<uint32_t> m_pHandleCell;  // where the library keeps its device handle
    bool m_bOpened = false;
    CCriticalSection m_lock;  // every library call and every change of m_bOpened
};
