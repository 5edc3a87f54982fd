#include "sim/veskbit2/CVeskBitSim.h"

#include "drivers/VeskBit2.h"
#include "sim/common/CRegValues.h"
#include "sim/common/GreyImageReader.h"
#include "sim/common/RidgeGenerator.h"
#include "sim/common/SimText.h"
#include "sim/veskbit2/VeskBitBlock.h"

namespace vsim::veskbit {
namespace {

constexpr uint16_t kDone = 0;  // what open and close answer on success
// Recognisable in a debugger, never 0 (the closed cell).
constexpr uint32_t kFirstHandle = 0x0B170001;
constexpr uint8_t kPaper = 255;  // around a picture smaller than the frame

// How often a waiting attempt looks at the machine-wide settings again.
constexpr std::chrono::milliseconds kRecheck{200};

// Made as the library loads, before any caller's object: a caller that ends
// while its thread still polls finds the simulator until its own objects go.
CVeskBitSim g_sim;

}  // namespace

CVeskBitSim& CVeskBitSim::Instance() { return g_sim; }

uint32_t CVeskBitSim::Attached()
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nAttachTests;
    _Refresh();
    if (const std::optional<uint32_t> oAnswer = m_script.Take(kCallAttached))
        return *oAnswer;
    return _IsAttached() ? 1 : 0;
}

uint16_t CVeskBitSim::Open(uint32_t* pCell, uint32_t nPriority, uint32_t nReserved,
                           uint32_t nWidth, uint32_t nHeight, uint32_t nOption)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nOpens;
    m_stats.m_nLastPriority = nPriority;
    m_stats.m_nLastReserved = nReserved;
    m_stats.m_nLastWidth = nWidth;
    m_stats.m_nLastHeight = nHeight;
    m_stats.m_nLastOption = nOption;
    _Refresh();
    if (!pCell)
        return _Refuse(kVeskBitEnd, "open without a handle cell");
    const std::optional<uint32_t> oAnswer = m_script.Take(kCallOpen);
    if (oAnswer && *oAnswer != 0)
        return static_cast<uint16_t>(*oAnswer);
    if (!oAnswer && !_IsAttached())
        return kNoScanner;
    if (nWidth != kVeskBitWidth || nHeight != kVeskBitHeight)
        return _Refuse(kVeskBitEnd, "open asks for " + std::to_string(nWidth) + " x " +
                                        std::to_string(nHeight) + " pixels; the scanner gives " +
                                        std::to_string(kVeskBitWidth) + " x " +
                                        std::to_string(kVeskBitHeight));
    if (m_mDevices.count(*pCell))
        return kDone;  // already open in this cell
    if (m_nNextHandle == 0)
        m_nNextHandle = kFirstHandle;
    *pCell = m_nNextHandle++;
    m_mDevices[*pCell] = CDevice();
    return kDone;
}

uint16_t CVeskBitSim::GetImage(uint32_t* pCell, uint8_t* pBlock)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nPolls;
    if (!pCell || !pBlock)
        return _Refuse(kVeskBitEnd, "poll without a handle cell or an image block");
    const auto it = m_mDevices.find(*pCell);
    if (it == m_mDevices.end())
        return kVeskBitEnd;  // closed, maybe by another thread: the poll loop ends
    CDevice& device = it->second;
    if (device.m_bLost)
        return kVeskBitBrokenOff;
    _RefreshWhileWaiting(device);
    const uint16_t nStatus = _Poll(device, pBlock);
    device.m_bWaiting = nStatus == kVeskBitNoImageYet;
    return nStatus;
}

uint16_t CVeskBitSim::Close(uint32_t* pCell)
{
    const CCriticalSectionLock lock(m_lock);
    ++m_stats.m_nCloses;
    _Refresh();
    if (!pCell)
        return _Refuse(kVeskBitEnd, "close without a handle cell");
    const std::optional<uint32_t> oAnswer = m_script.Take(kCallClose);
    if (oAnswer && *oAnswer != 0)
        return static_cast<uint16_t>(*oAnswer);
    // A device unplugged while open closes fine: it is gone either way.
    if (m_mDevices.erase(*pCell) == 0)
        return _Refuse(kVeskBitEnd, "close of a handle that is not open");
    *pCell = 0;
    return kDone;
}

void CVeskBitSim::_RefreshWhileWaiting(CDevice& device)
{
    const Clock::time_point now = Clock::now();
    if (!device.m_bWaiting) {
        device.m_bWaiting = true;
        device.m_tFirstPoll = now;
    } else if (now - device.m_tRefreshed < kRecheck) {
        return;
    }
    device.m_tRefreshed = now;
    _Refresh();
}

uint16_t CVeskBitSim::_Poll(CDevice& device, uint8_t* pBlock)
{
    if (const std::optional<uint32_t> oAnswer = m_script.Take(kCallImage)) {
        if (*oAnswer == kVeskBitImage)
            return _Deliver(device, pBlock);
        if (*oAnswer == kNoScanner) {
            _Unplug();
            return _BreakOff(device);
        }
        return static_cast<uint16_t>(*oAnswer);
    }
    if (!_IsAttached())
        return _BreakOff(device);
    if (!_FingerArrived(device))
        return kVeskBitNoImageYet;
    return _Deliver(device, pBlock);
}

// A scanner that goes away during an attempt breaks it off, as a real one
// does; the next attempt then finds no scanner.
uint16_t CVeskBitSim::_BreakOff(CDevice& device)
{
    device.m_bLost = true;
    return kVeskBitBrokenOff;
}

bool CVeskBitSim::_FingerArrived(const CDevice& device) const
{
    const uint32_t nDelay = m_overrides.m_oFingerDelayMs.value_or(m_stored.m_nFingerDelayMs);
    if (nDelay == kFingerNever)
        return false;
    return Clock::now() - device.m_tFirstPoll >= std::chrono::milliseconds(nDelay);
}

uint16_t CVeskBitSim::_Deliver(CDevice& device, uint8_t* pBlock)
{
    CGreyImage image;
    if (!_Picture(device.m_nFrames, image))
        return kVeskBitEnd;
    WriteBlock(image, pBlock);
    ++device.m_nFrames;
    ++m_stats.m_nImages;
    return kVeskBitImage;
}

bool CVeskBitSim::_Picture(uint32_t nFrame, CGreyImage& image)
{
    const WString sFile = m_overrides.m_oImageFile.value_or(m_stored.m_sImageFile);
    if (sFile.empty()) {
        const uint32_t nSeed = m_overrides.m_oSeed.value_or(m_stored.m_nSeed);
        image = GenerateRidges(kVeskBitWidth, kVeskBitHeight, nSeed, nFrame);
        return true;
    }
    CGreyImage file;
    std::string why;
    if (!ReadGreyImageFile(sFile, file, why)) {
        _Report("image file " + why);
        return false;
    }
    image = FitCentred(file, kVeskBitWidth, kVeskBitHeight, kPaper);
    return true;
}

void CVeskBitSim::_Refresh()
{
    m_stored = ReadSettings();
    if (m_script.IsInProcess())
        return;
    m_problems.LoadScript(m_script, m_stored.m_vScript);
}

bool CVeskBitSim::_IsAttached() const
{
    return m_overrides.m_oAttached.value_or(m_stored.m_bAttached);
}

// Stays unplugged where the script came from, for every process to see.
void CVeskBitSim::_Unplug()
{
    if (m_script.IsInProcess()) {
        m_overrides.m_oAttached = false;
        return;
    }
    m_stored.m_bAttached = false;
    CRegValues key(HKEY_LOCAL_MACHINE, SimulatorKeyPath(kFamily), true);
    const LSTATUS nStatus = key.WriteDword(kAttached, 0);
    if (nStatus == ERROR_SUCCESS)
        return;
    m_overrides.m_oAttached = false;  // unplugged for this process at least
    _Report("cannot store Attached = 0 (Win32 error " + std::to_string(nStatus) + ")");
}

void CVeskBitSim::_Report(const std::string& sProblem)
{
    m_problems.Report(sProblem);
}

uint16_t CVeskBitSim::_Refuse(uint16_t nStatus, const std::string& sProblem)
{
    _Report(sProblem);
    return nStatus;
}

void CVeskBitSim::Reset()
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides = COverrides();
    m_script.Clear();
    m_mDevices.clear();
    m_stats = CVeskBitSimStats();
    m_problems.Clear();
}

void CVeskBitSim::SetAttached(bool bAttached)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oAttached = bAttached;
}

void CVeskBitSim::SetSeed(uint32_t nSeed)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oSeed = nSeed;
    m_overrides.m_oImageFile = WString();
}

void CVeskBitSim::SetImageFile(const WString& sPath)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oImageFile = sPath;
}

void CVeskBitSim::SetFingerDelay(uint32_t nMilliseconds)
{
    const CCriticalSectionLock lock(m_lock);
    m_overrides.m_oFingerDelayMs = nMilliseconds;
}

void CVeskBitSim::SetScript(std::vector<CScriptEntry> entries)
{
    const CCriticalSectionLock lock(m_lock);
    m_script.SetInProcess(std::move(entries));
}

CVeskBitSimStats CVeskBitSim::GetStats()
{
    const CCriticalSectionLock lock(m_lock);
    CVeskBitSimStats stats = m_stats;
    stats.m_nOpenHandles = static_cast<uint32_t>(m_mDevices.size());
    return stats;
}

std::string CVeskBitSim::GetLastProblem()
{
    const CCriticalSectionLock lock(m_lock);
    return m_problems.Last();
}

}  // namespace vsim::veskbit
