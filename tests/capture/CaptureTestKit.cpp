#include "CaptureTestKit.h"

#include <chrono>
#include <cstring>

#include "drivers/AuthentecServiceSensor.h"
#include "drivers/CUpekSensor.h"
#include "drivers/CVeskBitDevice.h"
#include "drivers/Drivers.h"
#include "image/CRawImg.h"
#include "pal/text/text.h"
#include "support/Registry.h"
#include "veskbit2/VeskBitSimControl.h"

// The process-wide drivers of the test program.
CVeskBitDevice* GetVeskBitSensor()
{
    static CVeskBitDevice device(0, 1);
    return &device;
}
Authentec9Sensor* GetAuthentec9Sensor()
{
    static Authentec9Sensor sensor;
    return &sensor;
}
namespace {
std::atomic<bool> g_bRealUpek{false};
}  // namespace
CSensor* GetUpekSensor()
{
    return g_bRealUpek ? &capturetest::RealUpek() : static_cast<CSensor*>(&capturetest::ScriptedUpek());
}
std::vector<WString>& SensorLookupOrder()
{
    static std::vector<WString> order;
    return order;
}

namespace capturetest {

uint32_t VESK_CALLBACK CRecorder::Callback(uintptr_t, uint32_t code, uintptr_t data,
                                           uintptr_t context)
{
    const auto* image = code == FS_EVENT_IMAGE ? reinterpret_cast<const FingerscannerImage*>(data)
                                               : nullptr;
    CRecorder& self = Instance();
    std::lock_guard<std::mutex> guard(self.m_lock);
    self.m_events.push_back({code, context, GetCurrentThreadId(), image ? image->width : 0});
    self.m_changed.notify_all();
    return 0;
}

CRecorder& CRecorder::Instance()
{
    static CRecorder recorder;
    return recorder;
}

void CRecorder::Clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_events.clear();
}

std::vector<Event> CRecorder::Events(uintptr_t context)
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<Event> events;
    for (const Event& e : m_events)
        if (e.context == context)
            events.push_back(e);
    return events;
}

std::vector<uint32_t> CRecorder::Codes(uintptr_t context)
{
    std::vector<uint32_t> codes;
    for (const Event& e : Events(context))
        codes.push_back(e.code);
    return codes;
}

bool CRecorder::WaitFor(uintptr_t context, uint32_t code, int milliseconds)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(milliseconds), [&] {
        for (const Event& e : m_events)
            if (e.context == context && e.code == code)
                return true;
        return false;
    });
}

int32_t CScriptedSensor::CaptureImage(CRawImg* pImage)
{
    Sleep(5);
    CMyByteArray pixels(240 * 368);
    std::memset(pixels.GetData(), 0x80, pixels.GetSize());
    return pImage->SetImage(pixels, 240, 368, 8) ? 0 : -1;
}

bool CScriptedSensor::IsSensorAttached()
{
    ++m_nProbes;
    return m_bAttached.load();
}

void CScriptedSensor::Reset(bool attached)
{
    m_bAttached = attached;
    m_nProbes = 0;
}

CScriptedSensor& ScriptedUpek()
{
    static CScriptedSensor sensor;
    return sensor;
}

CSensor& RealUpek()
{
    static CUpekSensor sensor;
    return sensor;
}

void UseRealUpek(bool bReal) { g_bRealUpek = bReal; }

CAfssSimLink& AfssSim()
{
    static CAfssSimLink link(pal::FromUtf8(VESK_AFSS_SIM));
    return link;
}

void SetAfssService(bool bRunning)
{
    const std::u16string key = u"SYSTEM\\CurrentControlSet\\Services\\ATService";
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
    if (bRunning)
        testkit::SetValue(HKEY_LOCAL_MACHINE, key, u"CurrentState", REG_DWORD, testkit::Dword(SERVICE_RUNNING));
}

CaptureTest::CaptureTest()
{
    AfssSim().AfssSimReset();
    VeskBitSimReset();
    BsapiSimReset();
    ScriptedUpek().Reset(false);
    UseRealUpek(false);
    CRecorder::Instance().Clear();
}

CaptureTest::~CaptureTest()
{
    StopAndWait();
    VeskBitSimReset();
    // The driver's connection and lost-focus flag are class-wide: the next
    // test starts closed and with the scanner its own.
    RealUpek().CloseSensor();
    GetAuthentec9Sensor()->CloseSensor();
    AfssSim().AfssSimReset();
    CUpekSensor::UpekCBF(nullptr, ABS_MSG_PROCESS_RESUME, nullptr);
    BsapiSimReset();
}

uint32_t CaptureTest::Start(uintptr_t context, bool single)
{
    FingerscannerData request;
    InitFingerscannerData(&request, &CRecorder::Callback, 0, context, 0, 1, 0, single ? 1 : 0);
    return GetImageFromFingerscanner(&request);
}

void CaptureTest::StopAndWait()
{
    StopFingerscanner();
    for (int i = 0; i < 500 && CurrentlyUsedFingerscanner() != FS_TYPE_NONE; ++i)
        Sleep(10);
}

void CaptureTest::WaitUntilPolled()
{
    for (int i = 0; i < 500 && VeskBitSimStats().m_nPolls == 0; ++i)
        Sleep(10);
}

void CaptureTest::SetOrder(const std::vector<std::u16string>& names)
{
    std::u16string joined;
    for (const auto& name : names)
        joined += name + u'\0';
    joined += u'\0';
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyEx64(HKEY_LOCAL_MACHINE, u"SOFTWARE\\vesk\\veskSensor\\Settings", 0,
                               nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, u"SensorDetectOrder", 0, REG_MULTI_SZ,
                   reinterpret_cast<const BYTE*>(joined.data()),
                   static_cast<DWORD>(joined.size() * 2));
    RegCloseKey(key);
}

}  // namespace capturetest
