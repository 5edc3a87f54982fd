#include "capture/Detection.h"

#include "capture/ExtractionThreadData.h"
#include "drivers/AuthentecServiceSensor.h"
#include "drivers/CVeskBitDevice.h"
#include "drivers/Drivers.h"
#include "support/CSpinLock.h"
#include "support/CWinOS.h"
#include "support/Format.h"
#include "support/Logging.h"
#include "support/Registry.h"

namespace {

const WCHAR* const kVeskBit = W("vesk bit");
const WCHAR* const kAuthentec = W("Authtentec 2501");
const WCHAR* const kUpek = W("Upek TCS3");
const WCHAR* const kDefaultOrder[] = {kVeskBit, kAuthentec, kUpek};

bool IsKnownName(const WString& sName)
{
    for (const WCHAR* pszKnown : kDefaultOrder)
        if (sName == pszKnown)
            return true;
    return false;
}

void LogOrder(const std::vector<WString>& order)
{
    if (!IsInfoEnabled())
        return;
    WString sText = W("ReadFingerscannerLookupOrder:\n");
    for (size_t i = 0; i < order.size(); ++i)
        sText += Format(W("%u.) %s\n"), i + 1, order[i]);
    LogInfo(sText.c_str());
}

// The process-wide list is rebuilt by every detection; callers on several
// threads each work on their own copy and publish it under this lock.
CSpinLock g_orderLock;

uint8_t ProbeInOrder(const std::vector<WString>& order)
{
    for (const WString& sName : order) {
        if (sName == kVeskBit) {
            CSensor* pSensor = GetVeskBitSensor();
            if (pSensor && pSensor->IsSensorAttached())
                return FS_TYPE_VESKBIT;
        } else if (sName == kAuthentec) {
            CSensor* pSensor = GetAuthentec9Sensor();
            if (pSensor && pSensor->IsSensorAttached())
                return FS_TYPE_AUTHENTEC;
        } else if (sName == kUpek) {
            CSensor* pSensor = GetUpekSensor();
            if (pSensor && pSensor->IsSensorAttached())
                return FS_TYPE_UPEK;
        }
    }
    return FS_TYPE_NONE;
}

}  // namespace

void ReadFingerscannerLookupOrder(std::vector<WString>& order)
{
    order.assign(std::begin(kDefaultOrder), std::end(kDefaultOrder));
    std::vector<WString> stored;
    ReadMultiStringValue(HKEY_LOCAL_MACHINE, W("SOFTWARE\\vesk\\veskSensor\\Settings"),
                         W("SensorDetectOrder"), stored, false, true);
    std::vector<WString> valid;
    for (const WString& sName : stored)
        if (!sName.empty() && IsKnownName(sName))
            valid.push_back(sName);
    if (valid.size() == order.size())
        order = valid;
    LogOrder(order);
}

uint8_t CSensor::DetectFingerscanner(uint32_t /*nDetectionMode: accepted, never changes the answer*/)
{
    if (IsRemoteSession())
        return FS_TYPE_REMOTE;
    if (const auto pRunning = GetThreadData())
        return pRunning->type;
    std::vector<WString> order;
    ReadFingerscannerLookupOrder(order);
    {
        CSpinLockGuard guard(g_orderLock);
        SensorLookupOrder() = order;
    }
    return ProbeInOrder(order);
}
