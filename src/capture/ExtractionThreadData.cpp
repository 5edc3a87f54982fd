#include "capture/ExtractionThreadData.h"

ExtractionThreadData::~ExtractionThreadData()
{
    // Nothing waits on the capture thread; its handle goes with the last
    // holder of the record.
    if (threadHandle)
        CloseHandle(threadHandle);
}

void ExtractionThreadData::Deliver(uint32_t nEvent, uintptr_t nData) const
{
    if (const FingerscannerCallback pfnCallback = callback.load())
        pfnCallback(callbackFirst, nEvent, nData, context);
}

void ExtractionThreadData::RequestEnd()
{
    running.store(0);
    stop.store(true);
}
