#include "CodeNames.h"

#include "ToolText.h"
#include "veskSensor.h"

namespace vtool {
namespace {

struct CCodeName {
    int64_t m_nCode;
    const char16_t* m_pszName;
};

const CCodeName kEvents[] = {
    {FS_EVENT_REMOTE_CAPTURE, u"FS_EVENT_REMOTE_CAPTURE"},
    {FS_EVENT_CAPTURE_ENDED, u"FS_EVENT_CAPTURE_ENDED"},
    {FS_EVENT_CAPTURE_INTERRUPTED, u"FS_EVENT_CAPTURE_INTERRUPTED"},
    {FS_EVENT_READY_VESKBIT, u"FS_EVENT_READY_VESKBIT"},
    {FS_EVENT_READY_AUTHENTEC, u"FS_EVENT_READY_AUTHENTEC"},
    {FS_EVENT_READY_UPEK, u"FS_EVENT_READY_UPEK"},
    {FS_EVENT_READY_VALIDITY, u"FS_EVENT_READY_VALIDITY"},
    {FS_EVENT_NO_SENSOR, u"FS_EVENT_NO_SENSOR"},
    {FS_EVENT_RETRY, u"FS_EVENT_RETRY"},
    {FS_EVENT_REMOTE_NO_SENSOR, u"FS_EVENT_REMOTE_NO_SENSOR"},
    {FS_EVENT_REMOTE_BUSY, u"FS_EVENT_REMOTE_BUSY"},
    {FS_EVENT_CHANNEL_ERROR, u"FS_EVENT_CHANNEL_ERROR"},
    {FS_EVENT_REMOTE_ABORTED, u"FS_EVENT_REMOTE_ABORTED"},
    {FS_EVENT_SIZE_MISMATCH, u"FS_EVENT_SIZE_MISMATCH"},
    {FS_EVENT_REMOTE_FAILED, u"FS_EVENT_REMOTE_FAILED"},
    {FS_EVENT_IMAGE, u"FS_EVENT_IMAGE"},
};

const CCodeName kScanners[] = {
    {FS_TYPE_NONE, u"none"},
    {FS_TYPE_REMOTE, u"remote"},
    {FS_TYPE_VESKBIT, u"vesk bit"},
    {FS_TYPE_AUTHENTEC, u"AuthenTec"},
    {FS_TYPE_UPEK, u"UPEK TCS3"},
    {FS_TYPE_VALIDITY, u"Validity"},
};

template <size_t N>
const char16_t* _Find(const CCodeName (&table)[N], int64_t nCode)
{
    for (const CCodeName& entry : table) {
        if (entry.m_nCode == nCode)
            return entry.m_pszName;
    }
    return nullptr;
}

std::u16string _Signed(int64_t nValue)
{
    return nValue < 0 ? u"-" + Decimal(static_cast<uint64_t>(-nValue))
                      : Decimal(static_cast<uint64_t>(nValue));
}

}  // namespace

std::u16string EventName(uint32_t nEvent)
{
    const char16_t* pszName = _Find(kEvents, nEvent);
    return pszName ? pszName : Decimal(nEvent);
}

std::u16string CountImages(uint32_t nCount)
{
    return Decimal(nCount) + (nCount == 1 ? u" image" : u" images");
}

std::u16string DescribeScanner(int32_t nType)
{
    const char16_t* pszName = _Find(kScanners, nType);
    return std::u16string(pszName ? pszName : u"unknown") + u" (" + _Signed(nType) + u")";
}

}  // namespace vtool
