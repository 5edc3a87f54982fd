// One capture: shared by the starting thread, the capture thread and the
// stopping threads. The words they share are atomics, re-read on every pass.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "drivers/CSensor.h"

struct ExtractionThreadData {
    uint8_t type = FS_TYPE_NONE;
    std::atomic<uint32_t> running{1};  // 0: the capture is to end
    std::atomic<bool> stop{false};     // the thread is to leave its loop
    std::atomic<CSensor*> sensor{nullptr};
    DWORD threadId = 0;
    std::atomic<FingerscannerCallback> callback{nullptr};  // null once detached
    HANDLE threadHandle = nullptr;
    uint32_t singleCapture = 0;
    uint32_t priority = 0;
    uint32_t detectionMode = 0;
    uintptr_t context = 0;
    uintptr_t callbackFirst = 0;
    uint8_t remoteRequest = 0;
    // The thread's reference on the library, dropped as the thread ends.
    HMODULE moduleHold = nullptr;

    // The capture thread's own reference, handed over when it starts.
    std::shared_ptr<ExtractionThreadData> m_pSelf;

    ExtractionThreadData() = default;
    ExtractionThreadData(const ExtractionThreadData&) = delete;
    ExtractionThreadData& operator=(const ExtractionThreadData&) = delete;
    ~ExtractionThreadData();

    // callback(callbackFirst, code, data, context), only while not detached.
    void Deliver(uint32_t nEvent, uintptr_t nData = 0) const;
    // running 0 and stop 1: the capture thread leaves at its next test.
    void RequestEnd();
};
