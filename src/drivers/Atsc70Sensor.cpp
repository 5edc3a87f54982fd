#include "drivers/Atsc70Sensor.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "capture/ExtractionThreadData.h"
#include "drivers/RowWidening.h"
#include "image/CRawImg.h"
#include "support/CFsHelper.h"
#include "support/CWinOS.h"
#include "support/Format.h"
#include "support/Logging.h"

namespace {

const WCHAR* const kAcceptedVersion = W("07.07.00.00060");
const WCHAR* const kLibrary32 = W("ATSC70.dll");
const WCHAR* const kLibrary64 = W("ATSC70_64.dll");
constexpr int kFolderSystem = 0x25;     // CSIDL_SYSTEM
constexpr int kFolderSystemX86 = 0x29;  // CSIDL_SYSTEMX86
constexpr size_t kPathChars = 261;

constexpr DWORD kNoMessageMilliseconds = 10;
// A stopped loop leaves within one pass; this bounds a library call that
// does not return. Past it the library stays loaded rather than be freed
// under the capture.
constexpr DWORD kLeaveWaitMilliseconds = 5000;
constexpr DWORD kLeavePollMilliseconds = 2;

constexpr uint32_t kFrameWidth = 240;
constexpr uint32_t kFrameHeight = 368;
constexpr uint8_t kWhite = 0xFF;
// Far beyond any swipe sensor's buffers; a larger answer cannot be true.
constexpr uint32_t kMaxSwipeBytes = 16u << 20;
constexpr uint32_t kMaxFullImageBytes = 16u << 20;
constexpr size_t kDefaultLineChars = 512;

void LogDebugText(const WString& sText)
{
    LogDebugLine([&] { return sText; });
}

void LogRefusal(const WString& sWhat)
{
    LogErrorLine([&] { return W("Atsc70Sensor::CaptureImage(): ") + sWhat + W(": refused"); });
}

WString TextOf(const WCHAR* pBuffer, size_t nChars)
{
    return WString(pBuffer, std::find(pBuffer, pBuffer + nChars, WCHAR(0)));
}

// Holds the library's folder and file for this system.
struct CLibraryChoice {
    int nFolder;
    const WCHAR* pszFile;
};

CLibraryChoice ChooseLibrary()
{
    if (!CWinOS::Is64BitSystem())
        return {kFolderSystem, kLibrary32};
    if (!CWinOS::IsWow64())
        return {kFolderSystem, kLibrary64};
    return {kFolderSystemX86, kLibrary32};
}

}  // namespace

bool FnPtr::IsValid() const
{
    bool bAll = m_bLoaded;
#define AT_TEST_POINTER(name) bAll = bAll && m_pfn##name != nullptr;
    AT_ENTRY_POINTS(AT_TEST_POINTER)
#undef AT_TEST_POINTER
    return bAll;
}

void FnPtr::Release()
{
    m_bLoaded = false;
#define AT_CLEAR_POINTER(name) m_pfn##name = nullptr;
    AT_ENTRY_POINTS(AT_CLEAR_POINTER)
#undef AT_CLEAR_POINTER
    if (m_hModule) {
        FreeLibrary(m_hModule);
        m_hModule = nullptr;
    }
}

bool FnPtr::RTLInit()
{
    if (m_bLoaded)
        Release();
    const CLibraryChoice choice = ChooseLibrary();
    LogDebugLine([&] { return Format(W("FnPtr::RTLInit(): nFolderType: 0x%x"), choice.nFolder); });
    WCHAR szFolder[kPathChars] = {};
    if (FAILED(SHGetFolderPathW(nullptr, choice.nFolder, nullptr, SHGFP_TYPE_CURRENT, szFolder))) {
        LogErrorLine([] { return W("FnPtr::RTLInit(): Error: SHGetFolderPath() failure!"); });
        return false;
    }
    WString sPath = TextOf(szFolder, kPathChars);
    if (sPath.empty() || sPath.back() != W('\\'))
        sPath += W('\\');
    sPath += choice.pszFile;
    LogDebugText(W("FnPtr::RTLInit(): Dll for RTL: '") + sPath + W("'"));

    WString sVersion;
    if (!CFsHelper::GetFileVersion(sPath, sVersion, true)) {
        LogErrorLine([&] {
            return W("FnPtr::RTLInit(): CFsHelper::GetFileVersion(): for '") + sPath + W("' failed!");
        });
        return false;
    }
    if (sVersion != kAcceptedVersion) {
        LogErrorLine([&] {
            return W("FnPtr::RTLInit(): expected FileVersion '") + WString(kAcceptedVersion) +
                   W("' but I got: '") + sVersion + W("'");
        });
        return false;
    }
    m_hModule = LoadLibraryW(sPath.c_str());
    if (!m_hModule)
        return false;
#define AT_RESOLVE_POINTER(name) \
    m_pfn##name = reinterpret_cast<PFN_##name>(reinterpret_cast<void*>(GetProcAddress(m_hModule, #name)));
    AT_ENTRY_POINTS(AT_RESOLVE_POINTER)
#undef AT_RESOLVE_POINTER
    m_bLoaded = true;
    if (!IsValid()) {
        Release();
        return false;
    }
    return true;
}

Atsc70Sensor::~Atsc70Sensor()
{
    CloseSensor();
    const CCriticalSectionLock lock(m_lock);
    m_bSensorOpen.store(false);
    m_bAcquiring.store(false);
    m_bLibInit.store(false);
    m_bActive.store(false);
}

bool Atsc70Sensor::IsSensorAttached()
{
    if (m_bSensorOpen.load())
        return true;
    const bool bOpen = OpenSensor();
    CloseSensor();
    return bOpen;
}

bool Atsc70Sensor::GetFirstSensorName(WString& sName)
{
    sName.clear();
    if (!m_fnPtr.IsValid())
        return false;
    LogDebugText(W("ATGetNextSensorName()"));
    WCHAR szName[AT_SENSOR_NAME_CHARS] = {};
    const AT_STATUS nStatus = m_fnPtr.m_pfnATGetNextSensorNameW(szName);
    // Whatever the library wrote, the name ends within the buffer.
    const WString sFound = TextOf(szName, AT_SENSOR_NAME_CHARS);
    LogDebugText(W("First AuthentecSensor visible name: ") + sFound);
    if (nStatus != AT_STATUS_OK && nStatus != AT_STATUS_NAME_DELIVERED)
        return false;
    sName = sFound;
    return true;
}

bool Atsc70Sensor::OpenSensor()
{
    const CCriticalSectionLock closing(m_closing);
    const CCriticalSectionLock lock(m_lock);
    if (!m_fnPtr.IsValid() && !m_fnPtr.RTLInit())
        return false;
    if (!m_bLibInit.load()) {
        LogDebugText(W("ATInit()"));
        if (m_fnPtr.m_pfnATInit() != AT_STATUS_OK)
            return false;
        m_bLibInit.store(true);
        m_bActive.store(true);
    }
    WString sName;
    if (!GetFirstSensorName(sName)) {
        m_bSensorOpen.store(false);
        return false;
    }
    if (m_bSensorOpen.load())
        return true;
    // An unnamed sensor is opened by a null name, not an empty one.
    std::vector<WCHAR> nameCopy;
    if (!sName.empty()) {
        nameCopy.assign(sName.begin(), sName.end());
        nameCopy.push_back(0);
    }
    LogDebugText(W("ATOpenSensor()"));
    const AT_STATUS nStatus =
        m_fnPtr.m_pfnATOpenSensorW(nameCopy.empty() ? nullptr : nameCopy.data(), AT_OPEN_MODE);
    if (nStatus != AT_STATUS_OK) {
        m_bSensorOpen.store(false);
        return false;
    }
    m_bSensorOpen.store(true);
    m_bActive.store(true);
    return true;
}

// A capture calls the library outside the lock; while pinned, a close does
// not end the library under it. False when the sensor was closed meanwhile.
bool Atsc70Sensor::_PinLibrary()
{
    const CCriticalSectionLock lock(m_lock);
    if (!m_bSensorOpen.load())
        return false;
    m_bAcquiring.store(true);
    ++m_nInLibrary;
    m_nPinningThread = GetCurrentThreadId();
    return true;
}

void Atsc70Sensor::_UnpinLibrary()
{
    const CCriticalSectionLock lock(m_lock);
    --m_nInLibrary;
}

Atsc70Sensor::ELeave Atsc70Sensor::_WaitUntilCapturesLeft()
{
    for (DWORD nWaited = 0;; nWaited += kLeavePollMilliseconds) {
        {
            const CCriticalSectionLock lock(m_lock);
            if (m_nInLibrary == 0)
                return ELeave::kLeft;
            // A stop from the caller's callback runs inside the capture.
            if (m_nInLibrary == 1 && m_nPinningThread == GetCurrentThreadId())
                return ELeave::kInsideCapture;
        }
        if (nWaited >= kLeaveWaitMilliseconds)
            return ELeave::kStillInside;
        Sleep(kLeavePollMilliseconds);
    }
}

int32_t Atsc70Sensor::CaptureImage(CRawImg* pImage)
{
    if (!pImage)
        return ATSC70_STATUS_BAD_RECORD;
    pImage->Clear();
    if (!m_bSensorOpen.load() && !OpenSensor())
        return ATSC70_STATUS_OPEN_FAILED;
    // A stop that came before the open found nothing to close.
    if (IsEndRequested(this)) {
        CloseSensor();
        return 0;
    }
    if (!_PinLibrary())
        return 0;  // closed from outside before the acquisition began
    struct CUnpin {
        Atsc70Sensor& sensor;
        ~CUnpin() { sensor._UnpinLibrary(); }
    } unpin{*this};

    LogDebugText(W("ATBeginAcquireImage()"));
    if (m_fnPtr.m_pfnATBeginAcquireImage(0, 0, 0, 0) != AT_STATUS_OK)
        return ATSC70_STATUS_BEGIN_FAILED;
    bool bImage = false;
    const int32_t nResult = _RunMessageLoop(bImage);
    // An image that a close overtook is not reconstructed on a closed sensor.
    if (!bImage || !m_bSensorOpen.load())
        return nResult;
    return _Reconstruct(*pImage);
}

// ATGetNextMessage and ATReleaseMessage run without the lock, so that a
// close from another thread gets through; the flag is tested after each pass.
int32_t Atsc70Sensor::_RunMessageLoop(bool& bImage)
{
    int32_t nResult = 0;
    do {
        const AT_MESSAGE* pMessage = m_fnPtr.m_pfnATGetNextMessage();
        if (!pMessage) {
            Sleep(kNoMessageMilliseconds);
            continue;
        }
        const uint16_t nCode = pMessage->Code;
        _HandleMessage(nCode, bImage);
        nResult = nCode;
        m_fnPtr.m_pfnATReleaseMessage(pMessage);
    } while (m_bAcquiring.load());
    return nResult;
}

void Atsc70Sensor::_StopAcquiring()
{
    const CCriticalSectionLock lock(m_lock);
    m_bAcquiring.store(false);
}

void Atsc70Sensor::_HandleMessage(uint16_t nCode, bool& bImage)
{
    switch (nCode) {
    case 0: case 1: case 2: case 4: case 19: case 20:
        break;
    case AT_MSG_IMAGE_READY:
        _StopAcquiring();
        bImage = true;
        break;
    case AT_MSG_ENDED:
    case AT_MSG_ENDED_OTHER:
        _StopAcquiring();
        break;
    case 16: case 17: case 18: case 22: case 23: case 24: case 25: case 26:
        // Only a capture with a caller hears of it.
        if (const auto pData = GetThreadData(); pData && pData->callback.load()) {
            pData->Deliver(FS_EVENT_RETRY);
            LogDebugText(W("Authtentec Warning: ") + FormatDecimal(nCode));
        }
        break;
    default:
        LogDebugLine([&] {
            WString sLine = Format(W("Authentec default: %hd\r\n"), static_cast<int16_t>(nCode));
            sLine.resize(std::min(sLine.size(), kDefaultLineChars - 1));
            return sLine;
        });
        break;
    }
}

// Every size the library answers is checked before a byte is read or
// written by it; buffers go in reverse order of their making.
int32_t Atsc70Sensor::_Reconstruct(CRawImg& image)
{
    LogDebugText(W("ATGetImageBufferSize()"));
    const uint32_t nSwipeBytes = m_fnPtr.m_pfnATGetImageBufferSize();
    if (nSwipeBytes == 0 || nSwipeBytes > kMaxSwipeBytes) {
        LogRefusal(W("ATGetImageBufferSize() answers ") + FormatDecimal(nSwipeBytes) + W(" bytes"));
        return ATSC70_STATUS_BAD_RECORD;
    }
    std::vector<uint8_t> swipe(nSwipeBytes);
    LogDebugText(W("ATGetImageBufferSize()"));
    const uint32_t nAgain = m_fnPtr.m_pfnATGetImageBufferSize();
    // The buffer is filled by the second answer: it must be the first.
    if (nAgain != nSwipeBytes) {
        LogRefusal(W("ATGetImageBufferSize() answers ") + FormatDecimal(nSwipeBytes) + W(" then ") +
                   FormatDecimal(nAgain) + W(" bytes"));
        return ATSC70_STATUS_BAD_RECORD;
    }
    std::fill(swipe.begin(), swipe.end(), kWhite);
    LogDebugText(W("ATEndAcquireImage()"));
    if (const AT_STATUS nStatus = m_fnPtr.m_pfnATEndAcquireImage(swipe.data()))
        return nStatus;

    LogDebugText(W("ATGetSwipeInfo()"));
    uint32_t nInfo[3] = {};
    m_fnPtr.m_pfnATGetSwipeInfo(swipe.data(), &nInfo[0], &nInfo[1], &nInfo[2]);
    LogDebugText(W("ATGetMaxFullImageSize()"));
    uint32_t nFullBytes = 0;
    m_fnPtr.m_pfnATGetMaxFullImageSize(swipe.data(), &nFullBytes);
    if (nFullBytes == 0 || nFullBytes > kMaxFullImageBytes) {
        LogRefusal(W("ATGetMaxFullImageSize() answers ") + FormatDecimal(nFullBytes) + W(" bytes"));
        return ATSC70_STATUS_BAD_RECORD;
    }
    std::vector<uint8_t> full(nFullBytes, kWhite);
    LogDebugText(W("ATCreateFullImage()"));
    uint16_t nWidth = 0;
    uint16_t nHeight = 0;
    if (const AT_STATUS nStatus = m_fnPtr.m_pfnATCreateFullImage(swipe.data(), &nWidth, &nHeight, full.data()))
        return nStatus;

    const uint64_t nPixels = uint64_t(nWidth) * nHeight;
    const uint64_t nWidened = uint64_t(WidenedWidth(nWidth)) * nHeight;
    if (nPixels == 0 || nPixels > nFullBytes || nWidened > CRawImg::kMaxImageBytes) {
        LogRefusal(W("ATCreateFullImage() image of ") + FormatDecimal(nWidth) + W(" x ") +
                   FormatDecimal(nHeight) + W(" pixels in ") + FormatDecimal(nFullBytes) + W(" bytes"));
        return ATSC70_STATUS_BAD_RECORD;
    }
    const CMyByteArray widened = WidenRows(full.data(), nWidth, nHeight);
    if (!image.SetImage(widened, WidenedWidth(nWidth), nHeight, 8))
        return ATSC70_STATUS_BAD_RECORD;
    image.FitToFrame(kFrameWidth, kFrameHeight);
    image.FlipVertical();
    return 0;
}

// Closes the sensor (which ends a waiting acquisition), waits for a capture
// to leave the library, then ends and unloads it.
void Atsc70Sensor::CloseSensor()
{
    const CCriticalSectionLock closing(m_closing);
    {
        const CCriticalSectionLock lock(m_lock);
        if (!m_bActive.load())
            return;
        m_bActive.store(false);
        if (m_bSensorOpen.load()) {
            m_bAcquiring.store(false);
            LogDebugText(W("ATCloseSensor()"));
            m_fnPtr.m_pfnATCloseSensor();
            m_bSensorOpen.store(false);
        }
    }
    const ELeave leave = _WaitUntilCapturesLeft();
    if (leave != ELeave::kLeft) {
        if (leave == ELeave::kStillInside)
            LogErrorLine([] {
                return W("Atsc70Sensor::CloseSensor(): a capture is still inside the library after ") +
                       FormatDecimal(kLeaveWaitMilliseconds) + W(" ms: the library stays loaded");
            });
        const CCriticalSectionLock lock(m_lock);
        m_bActive.store(true);  // the next close (the capture's own at its end) finishes
        return;
    }
    const CCriticalSectionLock lock(m_lock);
    if (m_bLibInit.load()) {
        LogDebugText(W("ATClose()"));
        m_fnPtr.m_pfnATClose();
        m_bLibInit.store(false);
    }
    m_fnPtr.Release();
}
