// The capture exports: a caller's requests in, the capture session's answers out.
#include "capture/ExtractionThreadData.h"

#include <cstddef>

namespace {

// Callers built by other compilers read these records by offset: on 32-bit
// builds every field is one 4-byte word, in declaration order.
constexpr bool kWordSized = sizeof(void*) == 4;
static_assert(!kWordSized || (offsetof(FingerscannerData, valid) == 0 &&
                              offsetof(FingerscannerData, detectionMode) == 4 &&
                              offsetof(FingerscannerData, priority) == 8 &&
                              offsetof(FingerscannerData, ownBrandOption) == 12 &&
                              offsetof(FingerscannerData, singleCapture) == 16 &&
                              offsetof(FingerscannerData, context) == 20 &&
                              offsetof(FingerscannerData, callback) == 24 &&
                              offsetof(FingerscannerData, reserved) == 28));
static_assert(!kWordSized || (offsetof(FingerscannerImage, bitmapInfo) == 0 &&
                              offsetof(FingerscannerImage, pixels) == 4 &&
                              offsetof(FingerscannerImage, width) == 8 &&
                              offsetof(FingerscannerImage, height) == 12));

}  // namespace

extern "C" {

uint32_t InitFingerscannerData(FingerscannerData* pData, FingerscannerCallback pfnCallback,
                               uintptr_t nReserved, uintptr_t nContext, uint32_t nDetectionMode,
                               uint32_t nOwnBrandOption, uint32_t nPriority, uint32_t nSingleCapture)
{
    if (!pData || !pfnCallback)
        return 0;
    pData->valid = 1;
    pData->detectionMode = nDetectionMode;
    pData->priority = nPriority;
    pData->ownBrandOption = nOwnBrandOption;
    pData->singleCapture = nSingleCapture;
    pData->context = nContext;
    pData->callback = pfnCallback;
    pData->reserved = nReserved;
    return 1;
}

int32_t DetectFingerscanner(uint32_t nDetectionMode)
{
    return CSensor::DetectFingerscanner(nDetectionMode);
}

uint32_t GetImageFromFingerscanner(const FingerscannerData* pData)
{
    if (!pData || pData->valid != 1 || !pData->callback)
        return FS_START_INVALID_REQUEST;
    return CSensor::StartExtraction(pData->callback, 0, pData->context, pData->detectionMode,
                                    pData->priority, pData->ownBrandOption, pData->singleCapture, 0);
}

uint32_t StopFingerscanner(void) { return StopDataAquisition(); }

int32_t CurrentlyUsedFingerscanner(void)
{
    const auto pData = CSensor::GetThreadData();
    return pData ? static_cast<int32_t>(pData->type) : int32_t(FS_TYPE_NONE);
}

}  // extern "C"
