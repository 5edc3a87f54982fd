#include "sim/atsc70/CAtsc70Sim.h"

#include <algorithm>
#include <cstring>

#include "sim/common/GreyImageReader.h"
#include "sim/common/RidgeGenerator.h"
#include "sim/common/SimText.h"

namespace vsim::atsc70 {
namespace {

// The swipe buffer: a mark, the acquisition it belongs to, then the swipe.
constexpr uint32_t kSwipeBytes = 8192;
const uint8_t kSwipeMark[4] = {'A', 'T', 'S', 'W'};
constexpr uint8_t kSwipeFill = 0x5A;

// How often a waiting query looks, how long it waits before it answers
// "none yet", and how often it reads the machine-wide settings again.
constexpr DWORD kLookMilliseconds = 5;
constexpr std::chrono::milliseconds kLongestWait{1000};
constexpr std::chrono::milliseconds kRecheck{200};
constexpr size_t kNameChars = AT_SENSOR_NAME_CHARS;

void CopyText(char* pszTarget, size_t nSize, const std::string& sSource)
{
    const size_t nCopied = std::min(sSource.size(), nSize - 1);
    std::memcpy(pszTarget, sSource.data(), nCopied);
    pszTarget[nCopied] = '\0';
}

// The program that loaded the library may want to know when it goes.
PFN_Atsc70SimLoadEvent FindListener()
{
    const HMODULE hProgram = GetModuleHandleW(nullptr);
    return hProgram ? reinterpret_cast<PFN_Atsc70SimLoadEvent>(
                          reinterpret_cast<void*>(GetProcAddress(hProgram, "Atsc70SimLoadEvent")))
                    : nullptr;
}

CAtsc70Sim g_sim;

}  // namespace

CAtsc70Sim& CAtsc70Sim::Instance() { return g_sim; }

CAtsc70Sim::CAtsc70Sim() : m_pfnListener(FindListener())
{
    if (m_pfnListener)
        m_pfnListener(kAtsc70SimLoaded, 0);
}

CAtsc70Sim::~CAtsc70Sim()
{
    if (m_pfnListener)
        m_pfnListener(kAtsc70SimUnloaded, m_nInFlight.load());
}

AT_STATUS CAtsc70Sim::Init()
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nInits;
    _Refresh();
    if (const std::optional<uint32_t> oAnswer = m_script.Take(kCallInit); oAnswer && *oAnswer)
        return static_cast<AT_STATUS>(*oAnswer);
    m_bInitialized = true;
    return AT_STATUS_OK;
}

// Ends whatever is under way; calls still inside the library are counted.
AT_STATUS CAtsc70Sim::Close()
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nCloses;
    const uint32_t nOthers = m_nInFlight.load() - 1;
    m_stats.m_nInFlightAtClose = std::max(m_stats.m_nInFlightAtClose, nOthers);
    if (nOthers != 0)
        _Report("ATClose while " + std::to_string(nOthers) + " other calls are under way");
    _EndAcquisition();
    m_bSensorOpen = false;
    m_bInitialized = false;
    return AT_STATUS_OK;
}

AT_STATUS CAtsc70Sim::OpenSensor(const WCHAR* pszName, uint32_t nMode)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nOpens;
    m_stats.m_bLastOpenNameNull = pszName == nullptr;
    const WString sName = pszName ? WString(pszName, std::find(pszName, pszName + kNameChars, WCHAR(0)))
                                  : WString();
    CopyText(m_stats.m_szLastOpenName, sizeof m_stats.m_szLastOpenName, Utf8FromWide(sName));
    m_stats.m_nLastOpenMode = nMode;
    _Refresh();
    if (const AT_STATUS nStatus = _CheckInit("ATOpenSensorW"))
        return nStatus;
    if (const std::optional<uint32_t> oAnswer = m_script.Take(kCallOpen); oAnswer && *oAnswer)
        return static_cast<AT_STATUS>(*oAnswer);
    const CSettings settings = _Settings();
    if (settings.m_nSensors == 0)
        return kStatusNoSensor;
    if (pszName && sName != settings.m_sSensorName)
        return _Refuse(kStatusNoSensor, "no sensor is named '" + Utf8FromWide(sName) + "'");
    if (m_bSensorOpen)
        return _Refuse(kStatusBusy, "ATOpenSensorW while the sensor is open");
    m_bSensorOpen = true;
    return AT_STATUS_OK;
}

// Ends a waiting message query too.
AT_STATUS CAtsc70Sim::CloseSensor()
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nSensorCloses;
    if (!m_bSensorOpen)
        return kStatusNotOpen;
    _EndAcquisition();
    m_bSensorOpen = false;
    return AT_STATUS_OK;
}

AT_STATUS CAtsc70Sim::NextSensorName(WCHAR* pszName)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nNameQueries;
    _Refresh();
    if (const AT_STATUS nStatus = _CheckInit("ATGetNextSensorNameW"))
        return nStatus;
    if (!pszName)
        return _Refuse(kStatusBadParameter, "ATGetNextSensorNameW without a buffer");
    if (const std::optional<uint32_t> oAnswer = m_script.Take(kCallName); oAnswer && *oAnswer)
        return static_cast<AT_STATUS>(*oAnswer);
    const CSettings settings = _Settings();
    if (settings.m_nSensors == 0)
        return kStatusNoSensor;
    // The buffer holds kNameChars characters, the terminator among them.
    const size_t nCopied = std::min(settings.m_sSensorName.size(), kNameChars - 1);
    std::copy_n(settings.m_sSensorName.begin(), nCopied, pszName);
    pszName[nCopied] = 0;
    return static_cast<AT_STATUS>(settings.m_nNameStatus);
}

AT_STATUS CAtsc70Sim::Begin(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nBegins;
    const uint32_t nArgs[4] = {a, b, c, d};
    std::copy(std::begin(nArgs), std::end(nArgs), m_stats.m_nLastBeginArgs);
    _Refresh();
    if (const AT_STATUS nStatus = _CheckInit("ATBeginAcquireImage"))
        return nStatus;
    if (!m_bSensorOpen)
        return _Refuse(kStatusNotOpen, "ATBeginAcquireImage without an open sensor");
    if (const std::optional<uint32_t> oAnswer = m_script.Take(kCallBegin); oAnswer && *oAnswer)
        return static_cast<AT_STATUS>(*oAnswer);
    ++m_nAcquisition;
    m_bAcquiring = true;
    m_tBegin = Clock::now();
    m_bFingerDelivered = false;
    m_bImageReady = false;
    m_nSwipeQueries = 0;
    m_nSwipe = 0;
    return AT_STATUS_OK;
}

std::optional<uint16_t> CAtsc70Sim::_DueMessage()
{
    if (const std::optional<uint32_t> oCode = m_script.Take(kCallMessage))
        return static_cast<uint16_t>(*oCode);
    const uint32_t nDelay = _Settings().m_nFingerDelayMs;
    if (m_bFingerDelivered || nDelay == kFingerNever ||
        Clock::now() - m_tBegin < std::chrono::milliseconds(nDelay))
        return std::nullopt;
    m_bFingerDelivered = true;
    return kMessageImageReady;
}

// Waits, in bounded looks, for a message; a close, an end or the longest
// wait answers null (a close only after the leave delay: a slow library).
const AT_MESSAGE* CAtsc70Sim::NextMessage()
{
    uint32_t nAcquisition = 0;
    {
        const CCriticalSectionLock lock(m_lock);
        ++m_stats.m_nMessageQueries;
        _Refresh();
        if (!m_bAcquiring)
            return nullptr;
        if (const std::optional<uint16_t> oCode = _DueMessage())
            return _Hand(*oCode);
        nAcquisition = m_nAcquisition;
        ++m_nWaiting;
    }
    const Clock::time_point tStart = Clock::now();
    uint32_t nLeaveDelay = 0;
    for (;;) {
        Sleep(kLookMilliseconds);
        const CCriticalSectionLock lock(m_lock);
        _RefreshWhileWaiting();
        if (!m_bAcquiring || m_nAcquisition != nAcquisition) {
            --m_nWaiting;
            nLeaveDelay = std::min(_Settings().m_nLeaveDelayMs, kMaxLeaveDelayMs);
            break;
        }
        if (const std::optional<uint16_t> oCode = _DueMessage()) {
            --m_nWaiting;
            return _Hand(*oCode);
        }
        if (Clock::now() - tStart >= kLongestWait) {
            --m_nWaiting;
            return nullptr;
        }
    }
    Sleep(nLeaveDelay);
    return nullptr;
}

// Under the lock.
const AT_MESSAGE* CAtsc70Sim::_Hand(uint16_t nCode)
{
    auto pMessage = std::make_unique<CMessage>();
    pMessage->m_header.Code = nCode;
    pMessage->m_nSerial = m_nNextSerial++;
    const AT_MESSAGE* pHanded = &pMessage->m_header;
    m_messages[pHanded] = std::move(pMessage);
    if (nCode == kMessageImageReady)
        m_bImageReady = true;
    ++m_stats.m_nMessagesHandedOut;
    return pHanded;
}

void CAtsc70Sim::ReleaseMessage(const AT_MESSAGE* pMessage)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nReleases;
    if (m_messages.erase(pMessage) == 0)
        _Report("ATReleaseMessage of a message the library did not hand out");
}

uint32_t CAtsc70Sim::BufferSize()
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nBufferSizeQueries;
    _Refresh();
    ++m_nSwipeQueries;
    switch (_Settings().m_nFault) {
    case kFaultSwipeZero:
        return 0;
    case kFaultSwipeHuge:
        return kFaultHugeSize;
    case kFaultSwipeGrows:
        return kSwipeBytes * m_nSwipeQueries;
    default:
        return kSwipeBytes;
    }
}

// Fills exactly the true swipe size, whatever size was answered.
AT_STATUS CAtsc70Sim::End(uint8_t* pSwipe)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nEnds;
    _Refresh();
    if (const AT_STATUS nStatus = _CheckInit("ATEndAcquireImage"))
        return nStatus;
    if (!pSwipe)
        return _Refuse(kStatusBadParameter, "ATEndAcquireImage without a buffer");
    if (const std::optional<uint32_t> oAnswer = m_script.Take(kCallEnd); oAnswer && *oAnswer)
        return static_cast<AT_STATUS>(*oAnswer);
    if (!m_bSensorOpen || !m_bImageReady)
        return _Refuse(kStatusNoImage, "ATEndAcquireImage before the image-ready message");
    if (!_MakePicture())
        return kStatusNoImage;
    const uint32_t nAcquisition = m_nAcquisition;
    _EndAcquisition();
    std::memset(pSwipe, kSwipeFill, kSwipeBytes);
    std::memcpy(pSwipe, kSwipeMark, sizeof kSwipeMark);
    std::memcpy(pSwipe + sizeof kSwipeMark, &nAcquisition, sizeof nAcquisition);
    m_nSwipe = nAcquisition;
    return AT_STATUS_OK;
}

// Under the lock: 0 when the buffer holds this library's last swipe.
AT_STATUS CAtsc70Sim::_CheckSwipe(const uint8_t* pSwipe, const char* pszCall)
{
    if (const AT_STATUS nStatus = _CheckInit(pszCall))
        return nStatus;
    uint32_t nAcquisition = 0;
    if (pSwipe)
        std::memcpy(&nAcquisition, pSwipe + sizeof kSwipeMark, sizeof nAcquisition);
    if (!pSwipe || std::memcmp(pSwipe, kSwipeMark, sizeof kSwipeMark) != 0 || m_nSwipe == 0 ||
        nAcquisition != m_nSwipe)
        return _Refuse(kStatusBadParameter, std::string(pszCall) + " of a buffer that holds no ended swipe");
    return AT_STATUS_OK;
}

AT_STATUS CAtsc70Sim::SwipeInfo(const uint8_t* pSwipe, uint32_t* pnFirst, uint32_t* pnSecond,
                                uint32_t* pnThird)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nSwipeInfos;
    if (const AT_STATUS nStatus = _CheckSwipe(pSwipe, "ATGetSwipeInfo"))
        return nStatus;
    if (!pnFirst || !pnSecond || !pnThird)
        return _Refuse(kStatusBadParameter, "ATGetSwipeInfo without its three outputs");
    *pnFirst = m_picture.GetWidth();
    *pnSecond = m_picture.GetHeight();
    *pnThird = m_nSwipe;
    return AT_STATUS_OK;
}

AT_STATUS CAtsc70Sim::MaxFullSize(const uint8_t* pSwipe, uint32_t* pnBytes)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nMaxSizeQueries;
    if (const AT_STATUS nStatus = _CheckSwipe(pSwipe, "ATGetMaxFullImageSize"))
        return nStatus;
    if (!pnBytes)
        return _Refuse(kStatusBadParameter, "ATGetMaxFullImageSize without an output");
    switch (_Settings().m_nFault) {
    case kFaultFullZero:
        *pnBytes = 0;
        break;
    case kFaultFullHuge:
        *pnBytes = kFaultHugeSize;
        break;
    default:
        *pnBytes = static_cast<uint32_t>(m_picture.GetPixels().size());
        break;
    }
    return AT_STATUS_OK;
}

// Writes the picture's pixels, as many as the answered size allows; a fault
// claims another size than it wrote.
AT_STATUS CAtsc70Sim::CreateFull(const uint8_t* pSwipe, uint16_t* pnWidth, uint16_t* pnHeight,
                                 uint8_t* pImage)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nCreates;
    if (const AT_STATUS nStatus = _CheckSwipe(pSwipe, "ATCreateFullImage"))
        return nStatus;
    if (!pnWidth || !pnHeight || !pImage)
        return _Refuse(kStatusBadParameter, "ATCreateFullImage without its outputs");
    if (const std::optional<uint32_t> oAnswer = m_script.Take(kCallCreate); oAnswer && *oAnswer)
        return static_cast<AT_STATUS>(*oAnswer);
    const std::vector<uint8_t>& pixels = m_picture.GetPixels();
    std::copy(pixels.begin(), pixels.end(), pImage);
    *pnWidth = static_cast<uint16_t>(m_picture.GetWidth());
    *pnHeight = static_cast<uint16_t>(m_picture.GetHeight());
    const uint32_t nFault = _Settings().m_nFault;
    if (nFault == kFaultImageEmpty)
        *pnWidth = 0;
    else if (nFault == kFaultImageOversize)
        *pnHeight = static_cast<uint16_t>(std::min<uint32_t>(m_picture.GetHeight() * 2u, kMaxSide));
    return AT_STATUS_OK;
}

// Under the lock: the picture of this swipe, at the size its source has.
bool CAtsc70Sim::_MakePicture()
{
    const CSettings settings = _Settings();
    CGreyImage picture;
    if (!settings.m_sImageFile.empty()) {
        std::string why;
        if (!ReadGreyImageFile(settings.m_sImageFile, picture, why)) {
            _Report("image file " + why);
            return false;
        }
    } else if (settings.m_nWidth == 0 || settings.m_nHeight == 0 || settings.m_nWidth > kMaxSide ||
               settings.m_nHeight > kMaxSide) {
        _Report("image size " + std::to_string(settings.m_nWidth) + " x " +
                std::to_string(settings.m_nHeight) + " is outside 1 to " + std::to_string(kMaxSide));
        return false;
    } else {
        picture = GenerateRidges(settings.m_nWidth, settings.m_nHeight, settings.m_nSeed, m_nAcquisition);
    }
    if (picture.GetWidth() > kMaxSide || picture.GetHeight() > kMaxSide) {
        _Report("image file wider or taller than " + std::to_string(kMaxSide));
        return false;
    }
    m_picture = std::move(picture);
    return true;
}

void CAtsc70Sim::_EndAcquisition()
{
    if (m_bAcquiring)
        ++m_nAcquisition;  // a waiting query sees the change
    m_bAcquiring = false;
}

AT_STATUS CAtsc70Sim::_CheckInit(const char* pszCall)
{
    if (!m_bInitialized)
        return _Refuse(kStatusNotInitialized, std::string(pszCall) + " before ATInit");
    return AT_STATUS_OK;
}

CSettings CAtsc70Sim::_Settings() const
{
    CSettings settings = m_stored;
    const COverrides& o = m_overrides;
    settings.m_nSensors = o.m_oSensors.value_or(settings.m_nSensors);
    settings.m_sSensorName = o.m_oSensorName.value_or(settings.m_sSensorName);
    settings.m_nNameStatus = o.m_oNameStatus.value_or(settings.m_nNameStatus);
    settings.m_nWidth = o.m_oWidth.value_or(settings.m_nWidth);
    settings.m_nHeight = o.m_oHeight.value_or(settings.m_nHeight);
    settings.m_sImageFile = o.m_oImageFile.value_or(settings.m_sImageFile);
    settings.m_nFingerDelayMs = o.m_oFingerDelayMs.value_or(settings.m_nFingerDelayMs);
    settings.m_nLeaveDelayMs = o.m_oLeaveDelayMs.value_or(settings.m_nLeaveDelayMs);
    settings.m_nFault = o.m_oFault.value_or(settings.m_nFault);
    return settings;
}

void CAtsc70Sim::_Refresh()
{
    m_tRefreshed = Clock::now();
    m_stored = ReadSettings();
    if (m_script.IsInProcess())
        return;
    m_problems.LoadScript(m_script, m_stored.m_vScript);
}

void CAtsc70Sim::_RefreshWhileWaiting()
{
    if (Clock::now() - m_tRefreshed >= kRecheck)
        _Refresh();
}

void CAtsc70Sim::_Report(const std::string& sProblem)
{
    m_problems.Report(sProblem);
}

AT_STATUS CAtsc70Sim::_Refuse(AT_STATUS nStatus, const std::string& sProblem)
{
    _Report(sProblem);
    return nStatus;
}

// Waiting queries end: the state they wait on is gone. Messages still
// handed out stay valid until released.
void CAtsc70Sim::Reset()
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides = COverrides();
    m_script.Clear();
    _EndAcquisition();
    m_bSensorOpen = false;
    m_bInitialized = false;
    m_nSwipe = 0;
    m_stats = CAtsc70SimStats();
    m_problems.Clear();
}

void CAtsc70Sim::SetSensors(uint32_t nSensors)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oSensors = nSensors;
}

void CAtsc70Sim::SetSensorName(const WString& sName, int32_t nStatus)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oSensorName = sName;
    m_overrides.m_oNameStatus = static_cast<uint32_t>(nStatus);
}

void CAtsc70Sim::SetImageSize(uint32_t nWidth, uint32_t nHeight)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oWidth = nWidth;
    m_overrides.m_oHeight = nHeight;
    m_overrides.m_oImageFile = WString();
}

void CAtsc70Sim::SetImageFile(const WString& sPath)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oImageFile = sPath;
}

void CAtsc70Sim::SetFingerDelay(uint32_t nMilliseconds)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oFingerDelayMs = nMilliseconds;
}

void CAtsc70Sim::SetLeaveDelay(uint32_t nMilliseconds)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oLeaveDelayMs = nMilliseconds;
}

void CAtsc70Sim::SetFault(uint32_t nFault)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oFault = nFault < kFaultCount ? nFault : kFaultNone;
}

void CAtsc70Sim::SetScript(std::vector<CScriptEntry> entries)
{
    const CCriticalSectionLock lock(m_lock);
    m_script.SetInProcess(std::move(entries));
}

CAtsc70SimStats CAtsc70Sim::GetStats()
{
    const CCriticalSectionLock lock(m_lock);
    CAtsc70SimStats stats = m_stats;
    stats.m_nMessagesLive = static_cast<uint32_t>(m_messages.size());
    stats.m_nInitialized = m_bInitialized ? 1 : 0;
    stats.m_nSensorOpen = m_bSensorOpen ? 1 : 0;
    stats.m_nInFlight = m_nInFlight.load();
    stats.m_nWaiting = m_nWaiting;
    return stats;
}

std::string CAtsc70Sim::GetLastProblem()
{
    const CCriticalSectionLock lock(m_lock);
    return m_problems.Last();
}

}  // namespace vsim::atsc70
