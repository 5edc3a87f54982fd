// The scanner driver contract, and the front end's class-wide operations.
#pragma once
#include <cstdint>
#include <memory>

#include "support/Win32.h"
#include "veskSensor.h"

class CRawImg;
struct ExtractionThreadData;

// Driver statuses the front end produces itself.
constexpr int32_t FS_STATUS_NO_SENSOR = 4003;

class CSensor {
public:
    virtual ~CSensor() = default;

    // Blocks until an image is in the record (0) or the family's own status;
    // returns soon after CloseSensor from another thread.
    virtual int32_t CaptureImage(CRawImg* pImage) = 0;
    // Cancels a pending capture and closes the device; harmless when closed.
    virtual void CloseSensor() = 0;
    // Whether the family's scanner is present now.
    virtual bool IsSensorAttached() = 0;

    // The front end (detection, capture session, attempts).
    static uint8_t DetectFingerscanner(uint32_t nDetectionMode);
    static uint32_t StartExtraction(FingerscannerCallback pfnCallback, uintptr_t nCallbackFirst,
                                    uintptr_t nContext, uint32_t nDetectionMode, uint32_t nPriority,
                                    uint32_t nOwnBrandOption, uint32_t nSingleCapture,
                                    uint8_t nRemoteRequest);
    static int GetImageFromSensor(ExtractionThreadData* pData, CRawImg* pImage);

    // The running capture, kept alive for as long as the caller holds it;
    // null when none runs.
    static std::shared_ptr<ExtractionThreadData> GetThreadData();
    // True when the running capture drives pSensor and has been told to end.
    // A stop may close the driver before the attempt has opened it; a driver
    // that then waits for a finger asks this once open, so the stop is not lost.
    static bool IsEndRequested(const CSensor* pSensor);
};

uint32_t StopDataAquisition();
// The library is being unloaded: ends every capture whose thread still runs,
// without further events to its caller, and waits a bounded time for each.
void EndCapturesForUnload();
