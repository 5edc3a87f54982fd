// The texts the AuthenTec service drivers log for the service's events. No
// event changes a driver's state: they are support staff's view of what the
// service did.
#include "drivers/AuthentecEvents.h"

#include <iterator>

#include "support/Format.h"
#include "support/Logging.h"

using AuthenTec::AFSSClientLib::AFSSEvent;
using AuthenTec::AFSSClientLib::AFSSNode;
using AuthenTec::AFSSClientLib::AFSSPayload;

namespace {

// A list the library wrote is walked no further than this, whatever its
// count or links claim.
constexpr uint32_t kMaxPayloads = 256;

enum : uint32_t {
    kServiceStatus = 9,
    kSensorStatus = 10,
    kOperationalPrompt = 11,
    kBiometricEvent = 12,
};

const WCHAR* const kEventTexts[] = {
    W("SensorEvent_None"),
    W("SensorEvent_SensorDetected"),
    W("Sensor Removed"),
    W("Sensor Failed"),
    W("SensorEvent_SensorShutdown"),
    nullptr,  // 5 has no name of its own
    W("SensorEvent_ClientConnected"),
    W("SensorEvent_ClientConnectionFailed"),
    W("SensorEvent_ClientDisconnected"),
    W("SensorEvent_ServiceStatus"),
    W("SensorEvent_SensorStatus"),
    W("SensorEvent_OperationalPrompt"),
    W("SensorEvent_BiometricEvent"),
    W("SensorEvent_RequestCompleted"),
};

const WCHAR* const kServiceStatusTexts[] = {
    W("ServiceStatus_None ERROR: unknown service status"),
    W("ServiceStatus_ServiceConnected"),
    W("ServiceStatus_ServiceStopping"),
    W("ServiceStatus_ServiceDisconnected"),
    W("ServiceStatus_ServiceConnectionFailure"),
};

const WCHAR* const kSensorStatusTexts[] = {
    W("SensorStatus_None"),
    W("SensorStatus_FingerOn"),
    W("SensorStatus_FingerOff"),
    W("SensorStatus_SensorAttached"),
    W("SensorStatus_SensorDetached"),
};

const WCHAR* const kPromptTexts[] = {
    W("OpPrompt_None"),
    W("OpPrompt_OperationStarted"),
    W("OpPrompt_OperationQueued"),
    W("OpPrompt_OperationDelayed"),
    W("OpPrompt_OperationCancelled"),
    W("OpPrompt_OperationFailed"),
    W("OpPrompt_OperationCompleted"),
    W("OpPrompt_BeginSample"),
    W("OpPrompt_RemoveFinger"),
    W("OpPrompt_RequestPreemption"),
    W("OpPrompt_OperationPreempted"),
    W("OpPrompt_PreemptionRejected"),
    W("OpPrompt_FlashOperationCompleted"),
    W("OpPrompt_OperationNoMatch"),
};

// Index 0 logs nothing; the gaps are the default's.
const WCHAR* const kFeedbackTexts[] = {
    nullptr,
    W("UsageFeedback_SampleGood"),
    W("# UsageFeedback_TooFarLeft"),
    W("# UsageFeedback_TooFarRight"),
    W("# UsageFeedback_SwipeTooFast"),
    W("# UsageFeedback_SwipeTooSlow"),
    W("# UsageFeedback_SwipeTooShort"),
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    W("# UsageFeedback_TooSoft"),
    W("# UsageFeedback_SensorDirty"),
    nullptr,
    W("# UsageFeedback_SwipeTooSkewed"),
};

const WCHAR* const kPayloadTexts[] = {
    W("PayloadType_None"),
    W("PayloadType_DisplayImage"),
    W("PayloadType_MatchTemplate"),
    W("PayloadType_EnrollTemplate"),
    W("PayloadType_SwipeBuffer"),
    W("PayloadType_CloneBlob"),
    W("PayloadType_ApplicationPayload"),
    W("PayloadType_UserInfo"),
    W("PayloadType_SizeData"),
    W("PayloadType_BackupData"),
    W("PayloadType_UpdatedTemplate"),
    W("PayloadType_UpdatedTemplateIndex"),
};

template <size_t N>
const WCHAR* TextOr(const WCHAR* const (&texts)[N], uint32_t nIndex, const WCHAR* pszDefault)
{
    return nIndex < N && texts[nIndex] ? texts[nIndex] : pszDefault;
}

void LogPayloads(const AuthenTec::AFSSClientLib::AFSSList& payloads)
{
    LogDebugLine([&] { return Format(W("Payload list has %u nodes"), payloads.Count()); });
    uint32_t nSeen = 0;
    for (const AFSSNode* pNode = payloads.Head(); pNode && nSeen < kMaxPayloads; pNode = pNode->Next(), ++nSeen) {
        const uint32_t nType = static_cast<const AFSSPayload*>(pNode)->Type();
        LogDebug(TextOr(kPayloadTexts, nType, W("PayloadType_ default")));
    }
}

}  // namespace

void LogAuthentecEvent(const WCHAR* pszDriver, const AFSSEvent& event)
{
    if (!IsDebugEnabled())
        return;
    const uint32_t nType = event.m_nType;
    const uint32_t nCode = event.m_nCode;
    if (nType < std::size(kEventTexts) && kEventTexts[nType])
        LogDebug(kEventTexts[nType]);
    else
        LogDebug((WString(pszDriver) + W("::_handleEvent: default")).c_str());

    switch (nType) {
    case kServiceStatus:
        LogDebug(TextOr(kServiceStatusTexts, nCode, W("ServiceStatus_ default !!!")));
        break;
    case kSensorStatus:
        LogDebug(TextOr(kSensorStatusTexts, nCode, W("SensorStatus_ default")));
        break;
    case kOperationalPrompt:
        LogDebug(TextOr(kPromptTexts, nCode, W("OpPrompt_ default")));
        break;
    case kBiometricEvent:
        if (nCode != 0)
            LogDebug(TextOr(kFeedbackTexts, nCode, W("# UsageFeedback_ default")));
        LogPayloads(event.m_payloads);
        LogDebug(TextOr(kPromptTexts, nCode, W("OpPrompt_ default")));
        break;
    default:
        break;
    }
}
