// One local capture attempt and what its status means for each family.
#include <chrono>

#include "capture/ExtractionThreadData.h"
#include "image/CRawImg.h"
#include "image/FingerscannerImageFns.h"
#include "support/CWinOS.h"
#include "support/Format.h"
#include "support/Logging.h"

namespace {

constexpr DWORD kModuleNameCapacity = 2048;

uint32_t ReadyEventOf(uint8_t nType)
{
    switch (nType) {
    case FS_TYPE_VESKBIT:
        return FS_EVENT_READY_VESKBIT;
    case FS_TYPE_AUTHENTEC:
        return FS_EVENT_READY_AUTHENTEC;
    case FS_TYPE_UPEK:
        return FS_EVENT_READY_UPEK;
    case FS_TYPE_VALIDITY:
        return FS_EVENT_READY_VALIDITY;
    default:
        return 0;
    }
}

// <program>_<type, 2 digits>_<YYYYmmdd_HHMMSS>.bmp, local time.
WString SnapshotName(uint8_t nType)
{
    WString sProgram;
    if (!GetMainModuleBaseName(sProgram, kModuleNameCapacity))
        sProgram = W("UnkownProc");
    SYSTEMTIME now;
    GetLocalTime(&now);
    return Format(W("%s_%02d_%04d%02d%02d_%02d%02d%02d.bmp"), sProgram, nType, now.wYear,
                  now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}

void LogErrorText(const WString& sText)
{
    if (IsErrorEnabled())
        LogError(sText.c_str());
}

void DeliverImage(ExtractionThreadData& data, CRawImg& image)
{
    if (data.singleCapture)
        data.running.store(0);  // before the delivery: a stop inside the callback stays
    image.SaveBmp(SnapshotName(data.type));
    FingerscannerImage result;
    InitFingerscannerImage(&result);
    FillFingerscannerImage(&result, image);
    data.Deliver(FS_EVENT_IMAGE, reinterpret_cast<uintptr_t>(&result));
    FreeFingerscannerImage(&result);
}

void HandleVeskBitStatus(ExtractionThreadData& data, int32_t nStatus)
{
    switch (static_cast<int16_t>(nStatus & 0xFFFF)) {
    case FS_STATUS_NO_SENSOR:
        data.running.store(0);
        data.Deliver(FS_EVENT_NO_SENSOR);
        break;
    case 0x1000:
    case 0x2000:
        data.Deliver(FS_EVENT_RETRY);
        break;
    case static_cast<int16_t>(0x8000):
    case static_cast<int16_t>(0x8400):
        data.running.store(0);
        break;
    case static_cast<int16_t>(0x8020):
        data.running.store(0);
        data.Deliver(FS_EVENT_CAPTURE_INTERRUPTED);
        break;
    default:
        LogErrorText(Format(W("Unhandled Atmel Sensor Error. Error Code: %#X"), nStatus));
        break;
    }
}

void HandleUpekStatus(ExtractionThreadData& data, int32_t nStatus)
{
    data.running.store(0);
    switch (nStatus) {
    case -6000:
        if (IsDebugEnabled())
            LogDebug(W("CSensor::GetImageFromSensor(): UPEK_LOST_FOCUS"));
        data.Deliver(FS_EVENT_CAPTURE_INTERRUPTED);
        break;
    case -5012:
        break;
    case -5008:
        data.Deliver(FS_EVENT_NO_SENSOR);
        break;
    default:
        LogErrorText(Format(W("Unhandled Message from upec Sensor. Message Code: %d"), nStatus));
        break;
    }
}

// A service that fails at once would have its attempts repeat at once,
// spinning a core and flooding the log: a failed attempt is followed by the
// next no sooner than this after its start, and a stop ends the wait within
// one poll.
using Clock = std::chrono::steady_clock;
constexpr auto kRetrySpacing = std::chrono::milliseconds(100);
constexpr DWORD kStopPollMilliseconds = 10;

void SpaceRetry(const ExtractionThreadData& data, Clock::time_point attemptStart)
{
    while (data.running.load() != 0 && !data.stop.load() && Clock::now() - attemptStart < kRetrySpacing)
        Sleep(kStopPollMilliseconds);
}

void HandleStatus(ExtractionThreadData& data, int32_t nStatus, Clock::time_point attemptStart)
{
    if (IsDebugEnabled())
        LogDebug(Format(W("GetImageFromSensor: got error. Error Code: 0x%X"), nStatus).c_str());
    switch (data.type) {
    case FS_TYPE_VESKBIT:
        HandleVeskBitStatus(data, nStatus);
        break;
    case FS_TYPE_AUTHENTEC:
        LogErrorText(Format(W("Unhandled Message from Authentec Sensor. Message Code: %d"), nStatus));
        SpaceRetry(data, attemptStart);
        break;
    case FS_TYPE_UPEK:
        HandleUpekStatus(data, nStatus);
        break;
    default:
        break;
    }
}

}  // namespace

int CSensor::GetImageFromSensor(ExtractionThreadData* pData, CRawImg* pImage)
{
    if (!pData)
        return 0;
    if (const uint32_t nReady = ReadyEventOf(pData->type))
        pData->Deliver(nReady);
    CSensor* pSensor = pData->sensor.load();
    const Clock::time_point attemptStart = Clock::now();
    const int32_t nStatus = pSensor ? pSensor->CaptureImage(pImage) : FS_STATUS_NO_SENSOR;
    if (nStatus == 0) {
        DeliverImage(*pData, *pImage);
        return 1;
    }
    HandleStatus(*pData, nStatus, attemptStart);
    return 0;
}
