// The library's process-wide objects, in construction order, and its entry
// notification. They share this file so that the order is the order of
// definition: the channel add-in, the ATSC70 driver, the two AuthenTec
// service drivers, the own-brand driver,
// the lookup order, the UPEK driver (which initialises BSAPI), then the
// attachment, whose attach runs after all of them are made and whose detach
// runs before any of them is destroyed.
#include <vector>

#include "api/AddinRegistration.h"
#include "channel/CVCClient.h"
#include "drivers/Atsc70Sensor.h"
#include "drivers/AuthentecServiceSensor.h"
#include "drivers/CUpekSensor.h"
#include "drivers/CVeskBitDevice.h"
#include "drivers/Drivers.h"
#include "support/CFileLogger.h"
#include "support/ThisModule.h"

namespace {

CVCClient g_vcClient;
// No lookup name selects it: it lives with the library and nothing more.
Atsc70Sensor g_atsc70Sensor;
// The same: the older service generation is never chosen.
Authentec8Sensor g_authentec8Sensor;
Authentec9Sensor g_authentec9Sensor;
CVeskBitDevice g_veskBitDevice(0, 1);
std::vector<WString> g_sensorLookupOrder;
CUpekSensor g_upekSensor;

}  // namespace

CVCClient& TheVCClient() { return g_vcClient; }
CVeskBitDevice* GetVeskBitSensor() { return &g_veskBitDevice; }
Authentec9Sensor* GetAuthentec9Sensor() { return &g_authentec9Sensor; }
CSensor* GetUpekSensor() { return &g_upekSensor; }
std::vector<WString>& SensorLookupOrder() { return g_sensorLookupOrder; }

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD nReason, LPVOID pReserved)
{
    if (nReason == DLL_PROCESS_ATTACH) {
        SetThisModule(hInstance);
        InitFileLoggerFacility();
        RegisterRemoteDesktopAddin();
    } else if (nReason == DLL_PROCESS_DETACH) {
        // An ending Windows process has no other thread left; elsewhere a
        // capture thread may still run and must be out of the drivers and
        // the logger before they go.
        if (!pReserved) {
            EndCapturesForUnload();
            ReleaseKeptLibraries();
        }
        ReleaseFileLoggerFacility();
    }
    return TRUE;
}

namespace {

const CModuleAttachment g_attachment(DllMain);

}  // namespace
