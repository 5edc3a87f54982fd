// Drivers of AuthenTec scanners owned by AuthenTec's fingerprint service:
// they load the service's client library only while the service runs,
// connect its client, list the sensors and request one image per capture.
// The two library generations differ in a few slots and rules; TClient is
// the generation's interface and everything else is shared.
#pragma once
#include <atomic>
#include <cstdint>
#include <vector>

#include "drivers/AFSSClient.h"
#include "drivers/CSensor.h"
#include "support/CCriticalSection.h"
#include "support/CHModule.h"

// The driver's own results; others are the image request's statuses.
constexpr int32_t AUTHENTEC_STATUS_NOT_CONNECTED = 1;
constexpr int32_t AUTHENTEC_STATUS_IMAGE_FORMAT = -980;
// The image block the library filled cannot be true (sizes, offsets or
// counts beyond the block): refused unread.
constexpr int32_t AUTHENTEC_STATUS_BAD_IMAGE = -128;

// One listed sensor, in the order of the descriptor's fields it comes from.
struct SensorDescription {
    uint8_t bAvailable = 0;
    uint8_t bSwipeSensor = 0;
    uint32_t nSensorType = 0;
    uint32_t nSensorIndex = 0;
    WString sName;
    WString sDevicePath;
    WString sFirmware;  // four zero-padded decimal numbers, "."-joined
    WString sHardware;  // three hexadecimal numbers, "."-joined
    WString sSerialNumber;
};

template <class TClient>
class AuthentecServiceSensor : public CSensor {
public:
    ~AuthentecServiceSensor() override;
    AuthentecServiceSensor(const AuthentecServiceSensor&) = delete;
    AuthentecServiceSensor& operator=(const AuthentecServiceSensor&) = delete;

    int32_t CaptureImage(CRawImg* pImage) override;
    void CloseSensor() override;
    bool IsSensorAttached() override;

    // Loads the client library when needed and connects its client.
    bool GetInterfacePtr();
    // The sensors of the last listing.
    std::vector<SensorDescription> GetSensorList();

    // The library's event callback: context is the driver.
    static uint32_t __cdecl EventCallback(void* pContext, AuthenTec::AFSSClientLib::AFSSEvent* pEvent);
    uint32_t _handleEvent(const AuthenTec::AFSSClientLib::AFSSEvent& event);

protected:
    // pszName prefixes every line the driver logs.
    explicit AuthentecServiceSensor(const WCHAR* pszName);

    // Takes the lock.
    void _SetStartup(uint32_t nStartUpFlags, uint8_t nPrio);

private:
    void _Debug(const WCHAR* pszWhat) const;
    void _DebugStatus(const WCHAR* pszWhat, uint32_t nStatus) const;
    bool _LoadClientLibrary();
    // The older generation's check that library and service match.
    bool _AcceptVersions();
    bool _ReadSensorList();
    void _Shutdown();
    int32_t _StoreImage(const AuthenTec::AFSSClientLib::AFSSSensorImage& afssImage, CRawImg& image);

    const WCHAR* const m_pszName;
    // Read before the lock is taken; written under it.
    std::atomic<bool> m_bConnected{false};
    CCriticalSection m_lock;
    TClient* m_pcli = nullptr;
    CHModule m_module;
    AuthenTec::AFSSClientLib::AFSSBuffer m_afssBuffer;
    std::vector<SensorDescription> m_sensorList;
    uint8_t m_nPrio = 0;
    uint32_t m_nStartUpFlags = 1;
};

extern template class AuthentecServiceSensor<AuthenTec::AFSSClientLib::IAFSSClient>;
extern template class AuthentecServiceSensor<AuthenTec::AFSSClientLib::IAFSSClient8>;

// The newer generation, behind the lookup name "Authtentec 2501".
class Authentec9Sensor : public AuthentecServiceSensor<AuthenTec::AFSSClientLib::IAFSSClient> {
public:
    Authentec9Sensor() : AuthentecServiceSensor(W("Authentec9Sensor")) {}

    // The caller's priority (0, 1 or 2) as the start-up flags and the
    // request priority; the flags reach the client at its next start-up.
    void Initialize(uint32_t nPrio);
};

// The older generation: no priority, a software-version check after each
// connect, and a connection that stays up with no sensor listed.
class Authentec8Sensor : public AuthentecServiceSensor<AuthenTec::AFSSClientLib::IAFSSClient8> {
public:
    Authentec8Sensor() : AuthentecServiceSensor(W("Authentec8Sensor")) {}
};
