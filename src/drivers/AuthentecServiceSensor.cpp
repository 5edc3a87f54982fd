#include "drivers/AuthentecServiceSensor.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "drivers/AuthentecEvents.h"
#include "drivers/CService.h"
#include "drivers/RowWidening.h"
#include "image/CRawImg.h"
#include "support/Format.h"
#include "support/LittleEndian.h"
#include "support/Logging.h"

using namespace AuthenTec::AFSSClientLib;

namespace {

const WCHAR* const kServiceName = W("ATService");
const WCHAR* const kClientLibrary = W("AFSSClientLib.dll");
constexpr uint32_t kConnectMode = 1;
constexpr uint32_t kConnectTimeoutSeconds = 30;
constexpr uint32_t kConnectPort = 5550;
constexpr uint32_t kFrameWidth = 240;
constexpr uint32_t kFrameHeight = 368;

// What the library wrote is read no further than this, whatever its counts
// and links claim.
constexpr uint32_t kMaxSensors = 64;
constexpr size_t kMaxTextChars = 1024;
// The image block begins with a bitmap information header: width at 4,
// height at 8, pixel byte count at 20; the pixels are its last bytes.
constexpr uint32_t kWidthOffset = 4;
constexpr uint32_t kHeightOffset = 8;
constexpr uint32_t kPixelBytesOffset = 20;
constexpr uint32_t kMinBlockBytes = 24;

template <class TClient>
constexpr bool kOlderGeneration = std::is_same_v<TClient, IAFSSClient8>;

static_assert(sizeof(WCHAR) == 2, "the library writes UTF-16 text");

WString TextOf(const AFSSBuffer& buffer)
{
    if (!buffer.Data())
        return WString();
    const size_t nChars = std::min<size_t>(buffer.Size() / sizeof(WCHAR), kMaxTextChars);
    WString sText(nChars, WCHAR(0));
    std::memcpy(&sText[0], buffer.Data(), nChars * sizeof(WCHAR));
    sText.resize(std::find(sText.begin(), sText.end(), WCHAR(0)) - sText.begin());
    return sText;
}

template <class TNumber>
WString Joined(const TNumber* pNumbers, int nCount, WString (*pfnFormat)(uint32_t))
{
    WString sText;
    for (int i = 0; i < nCount; ++i)
        sText += (i ? W(".") : W("")) + pfnFormat(pNumbers[i]);
    return sText;
}

WString FourDigits(uint32_t nValue) { return FormatZeroPadded(nValue, 4); }
WString Hexadecimal(uint32_t nValue) { return Format(W("%x"), nValue); }

SensorDescription Describe(const AFSSSensorDescriptor& descriptor)
{
    SensorDescription description;
    description.bAvailable = descriptor.m_bAvailable;
    description.bSwipeSensor = descriptor.m_bSwipeSensor;
    description.nSensorType = descriptor.m_nSensorType;
    description.nSensorIndex = descriptor.m_nSensorIndex;
    description.sName = TextOf(descriptor.m_name);
    description.sDevicePath = TextOf(descriptor.m_devicePath);
    uint32_t aFirmware[AFSSSoftwareVersionInfo::kNumbers];
    for (int i = 0; i < AFSSSoftwareVersionInfo::kNumbers; ++i)
        aFirmware[i] = descriptor.m_firmware.Number(i);
    description.sFirmware = Joined(aFirmware, AFSSSoftwareVersionInfo::kNumbers, &FourDigits);
    description.sHardware = Joined(descriptor.m_hardware.m_aNumbers, AFSSHardwareRevision::kNumbers, &Hexadecimal);
    description.sSerialNumber = TextOf(descriptor.m_serialNumber);
    return description;
}

bool IsLiveBlockOf(const uint8_t* pBlock, uint32_t nBytes)
{
    HGLOBAL const hBlock = const_cast<uint8_t*>(pBlock);
    return GlobalFlags(hBlock) != GMEM_INVALID_HANDLE && GlobalSize(hBlock) >= nBytes;
}

}  // namespace

template <class TClient>
AuthentecServiceSensor<TClient>::AuthentecServiceSensor(const WCHAR* pszName) : m_pszName(pszName)
{
    LogDebugLine([&] { return WString(m_pszName) + W("::") + m_pszName + W("()"); });
    const CCriticalSectionLock lock(m_lock);
    m_bConnected.store(false);
    m_pcli = nullptr;
    m_nPrio = 0;
    m_nStartUpFlags = 1;
}

template <class TClient>
AuthentecServiceSensor<TClient>::~AuthentecServiceSensor()
{
    CloseSensor();
    {
        const CCriticalSectionLock lock(m_lock);
        m_bConnected.store(false);
        m_pcli = nullptr;
        m_module.Release();
    }
    LogDebugLine([&] { return WString(m_pszName) + W("::~") + m_pszName + W("()"); });
}

template <class TClient>
void AuthentecServiceSensor<TClient>::_SetStartup(uint32_t nStartUpFlags, uint8_t nPrio)
{
    const CCriticalSectionLock lock(m_lock);
    m_nStartUpFlags = nStartUpFlags;
    m_nPrio = nPrio;
}

template <class TClient>
void AuthentecServiceSensor<TClient>::_Debug(const WCHAR* pszWhat) const
{
    LogDebugLine([&] { return WString(m_pszName) + pszWhat; });
}

template <class TClient>
void AuthentecServiceSensor<TClient>::_DebugStatus(const WCHAR* pszWhat, uint32_t nStatus) const
{
    LogDebugLine([&] { return WString(m_pszName) + pszWhat + W(" returns: ") + FormatDecimal(int32_t(nStatus)); });
}

// The service must run before its library is loaded; once loaded, the
// library stays and its interface is only looked up again while missing.
template <class TClient>
bool AuthentecServiceSensor<TClient>::_LoadClientLibrary()
{
    CService service(kServiceName, true);
    if (service.IsServiceAvailable() && service.IsServiceRunning()) {
        if (!m_module.Get()) {
            m_module.Attach(LoadLibraryW(kClientLibrary));
            m_pcli = nullptr;
        }
        if (!m_pcli && m_module.Get()) {
            // Through the generic function type: no warning between unrelated ones.
            const auto pfnGetInterface = reinterpret_cast<PFN_GetAFSSClientInterface>(
                reinterpret_cast<void (*)()>(GetProcAddress(m_module.Get(), kGetAFSSClientInterface)));
            if (pfnGetInterface)
                m_pcli = static_cast<TClient*>(pfnGetInterface(&m_afssBuffer));
        }
    }
    return m_module.Get() && m_pcli;
}

template <class TClient>
bool AuthentecServiceSensor<TClient>::GetInterfacePtr()
{
    {
        const CCriticalSectionLock lock(m_lock);
        _Debug(W("::GetInterfacePtr()"));
        if (!_LoadClientLibrary())
            return false;
        if (m_bConnected.load())
            return true;

        _Debug(W("::m_pcli->Startup()"));
        uint32_t nStatus = m_pcli->Startup(&EventCallback, this, m_nStartUpFlags);
        _DebugStatus(W("::m_pcli->Startup()"), nStatus);
        if (nStatus != 0)
            return false;

        _Debug(W("::m_pcli->ConnectToService()"));
        nStatus = m_pcli->ConnectToService(kConnectMode, kConnectTimeoutSeconds, kConnectPort);
        _DebugStatus(W("::m_pcli->ConnectToService()"), nStatus);
        if (nStatus != 0) {
            _Shutdown();
            return false;
        }

        if constexpr (kOlderGeneration<TClient>) {
            if (!_AcceptVersions())
                return false;
            m_bConnected.store(true);
            _ReadSensorList();  // an empty list keeps the connection
            return true;
        } else {
            m_bConnected.store(true);
            if (_ReadSensorList())
                return true;
        }
    }
    CloseSensor();
    return false;
}

template <class TClient>
void AuthentecServiceSensor<TClient>::_Shutdown()
{
    _Debug(W("::m_pcli->Shutdown()"));
    m_pcli->Shutdown();
    m_bConnected.store(false);
}

template <class TClient>
bool AuthentecServiceSensor<TClient>::_AcceptVersions()
{
    if constexpr (kOlderGeneration<TClient>) {
        AFSSSoftwareVersions versions;
        if (m_pcli->GetSoftwareVersions(&versions) != 0) {
            _Debug(W("::m_pcli->GetSoftwareVersions()"));
            m_pcli->Shutdown();
            m_bConnected.store(false);
            return false;
        }
        const AFSSSoftwareVersionInfo& library = versions.Entry(0);
        const AFSSSoftwareVersionInfo& service = versions.Entry(1);
        bool bEqual = library.Number(0) != 0;
        for (int i = 0; i < AFSSSoftwareVersionInfo::kNumbers; ++i)
            bEqual = bEqual && library.Number(i) == service.Number(i);
        if (!bEqual) {
            _Debug(W("::m_pcli->GetSoftwareVersions(): AFSSClientLib.dll and AtService.exe Fileversions are not equal!"));
            m_pcli->Shutdown();
            m_bConnected.store(false);
        }
        return bEqual;
    } else {
        return true;
    }
}

template <class TClient>
bool AuthentecServiceSensor<TClient>::_ReadSensorList()
{
    m_sensorList.clear();
    AFSSSensorDescriptorList list;
    _Debug(W("::m_pcli->GetSensorDescriptorList()"));
    const uint32_t nStatus = m_pcli->GetSensorDescriptorList(&list);
    _DebugStatus(W("::m_pcli->GetSensorDescriptorList()"), nStatus);
    if (nStatus != 0)
        return false;

    uint32_t nLinked = 0;
    const AFSSNode* pNode = list.Head();
    for (; pNode && nLinked < kMaxSensors; pNode = pNode->Next(), ++nLinked)
        m_sensorList.push_back(Describe(*static_cast<const AFSSSensorDescriptor*>(pNode)));
    if (pNode || nLinked != list.Count()) {
        LogErrorLine([&] {
            return Format(W("%s::GetSensorDescriptorList(): the list counts %u sensors, %u read (at most %u)"),
                          m_pszName, list.Count(), nLinked, kMaxSensors);
        });
    }
    return !m_sensorList.empty();
}

template <class TClient>
int32_t AuthentecServiceSensor<TClient>::CaptureImage(CRawImg* pImage)
{
    if (!pImage)
        return AUTHENTEC_STATUS_BAD_IMAGE;
    pImage->Clear();
    if (!m_bConnected.load() && !GetInterfacePtr())
        return AUTHENTEC_STATUS_NOT_CONNECTED;
    // A stop that closed the driver before it connected would otherwise
    // leave the request waiting for a finger.
    if (CSensor::IsEndRequested(this)) {
        CloseSensor();
        return AUTHENTEC_STATUS_NOT_CONNECTED;
    }

    TClient* pcli = nullptr;
    uint8_t nPrio = 0;
    {
        const CCriticalSectionLock lock(m_lock);
        pcli = m_pcli;
        nPrio = m_nPrio;
    }
    if (!pcli)
        return AUTHENTEC_STATUS_NOT_CONNECTED;

    // Waits for the finger without the lock: a close from the stopping
    // thread cancels it.
    AFSSSensorImage afssImage;
    const uint32_t nStatus = pcli->RequestSensorImage(&afssImage, 0, 0, 0, nPrio);
    const CCriticalSectionLock lock(m_lock);
    if (nStatus != 0)
        return int32_t(nStatus);
    if (afssImage.Format() != 0)
        return AUTHENTEC_STATUS_IMAGE_FORMAT;
    return _StoreImage(afssImage, *pImage);
}

template <class TClient>
int32_t AuthentecServiceSensor<TClient>::_StoreImage(const AFSSSensorImage& afssImage, CRawImg& image)
{
    const uint8_t* const pBlock = afssImage.Data();
    const uint32_t nBytes = afssImage.Size();
    const auto refuse = [&](const WString& sWhat) {
        LogErrorLine([&] { return WString(m_pszName) + W("::CaptureImage(): ") + sWhat + W(": refused"); });
        return AUTHENTEC_STATUS_BAD_IMAGE;
    };
    if (!pBlock || nBytes < kMinBlockBytes || !IsLiveBlockOf(pBlock, nBytes))
        return refuse(Format(W("image block of %u bytes"), nBytes));

    const uint32_t nWidth = LoadLE32(pBlock + kWidthOffset);
    const uint32_t nHeight = LoadLE32(pBlock + kHeightOffset);
    const uint32_t nPixelBytes = LoadLE32(pBlock + kPixelBytesOffset);
    const uint64_t nPixels = uint64_t(nWidth) * nHeight;
    const uint64_t nWidened = uint64_t(WidenedWidth(nWidth)) * nHeight;
    if (nPixels == 0 || nPixelBytes > nBytes || nPixels > nPixelBytes || nWidened > CRawImg::kMaxImageBytes) {
        return refuse(Format(W("image of %u x %u pixels in %u of %u bytes"), nWidth, nHeight, nPixelBytes,
                             nBytes));
    }

    const CMyByteArray widened = WidenRows(pBlock + (nBytes - nPixelBytes), nWidth, nHeight);
    if (!image.SetImage(widened, WidenedWidth(nWidth), nHeight, 8))
        return refuse(W("the widened image"));
    image.FitToFrame(kFrameWidth, kFrameHeight);
    return 0;
}

template <class TClient>
void AuthentecServiceSensor<TClient>::CloseSensor()
{
    const CCriticalSectionLock lock(m_lock);
    if (!m_bConnected.load())
        return;
    _Debug(W("::m_pcli->CancelCurrentRequest()"));
    const uint32_t nStatus = m_pcli->CancelCurrentRequest();
    _DebugStatus(W("::m_pcli->CancelCurrentRequest()"), nStatus);
    _Shutdown();
}

template <class TClient>
bool AuthentecServiceSensor<TClient>::IsSensorAttached()
{
    if (m_bConnected.load()) {
        const CCriticalSectionLock lock(m_lock);
        return _ReadSensorList();
    }
    bool bAttached = false;
    if (GetInterfacePtr()) {
        const CCriticalSectionLock lock(m_lock);
        bAttached = _ReadSensorList();
    }
    CloseSensor();
    return bAttached;
}

template <class TClient>
std::vector<SensorDescription> AuthentecServiceSensor<TClient>::GetSensorList()
{
    const CCriticalSectionLock lock(m_lock);
    return m_sensorList;
}

template <class TClient>
uint32_t __cdecl AuthentecServiceSensor<TClient>::EventCallback(void* pContext, AFSSEvent* pEvent)
{
    if (!pContext || !pEvent)
        return 0;
    return static_cast<AuthentecServiceSensor*>(pContext)->_handleEvent(*pEvent);
}

// Runs on the library's threads: logs, touches no field.
template <class TClient>
uint32_t AuthentecServiceSensor<TClient>::_handleEvent(const AFSSEvent& event)
{
    LogAuthentecEvent(m_pszName, event);
    return 0;
}

template class AuthentecServiceSensor<IAFSSClient>;
template class AuthentecServiceSensor<IAFSSClient8>;

void Authentec9Sensor::Initialize(uint32_t nPriority)
{
    uint32_t nStartUpFlags = 1;
    uint8_t nPrio = 0;
    if (nPriority == 1) {
        nPrio = 50;
    } else if (nPriority == 2) {
        nStartUpFlags = 2;
        nPrio = 100;
    }
    _SetStartup(nStartUpFlags, nPrio);
    LogDebugLine([&] {
        return Format(W("Authentec9Sensor::Initialize(): prio: %u; veskPrio: %u; StartUpFlags; %u"), nPrio,
                      nPriority, nStartUpFlags);
    });
}
