#include "sim/atsc70/Atsc70Settings.h"

#include <cstdint>

#include "sim/common/CRegValues.h"
#include "sim/common/SimText.h"

namespace vsim::atsc70 {
namespace {

// Signed decimal for all: message codes read as typed, statuses as "-3".
const CScriptCall kCalls[] = {
    {kCallMessage, "message", 0xFFFF, 0}, {kCallInit, "init", 0xFFFF, 0},
    {kCallName, "name", 0xFFFF, 0},       {kCallOpen, "open", 0xFFFF, 0},
    {kCallBegin, "begin", 0xFFFF, 0},     {kCallEnd, "end", 0xFFFF, 0},
    {kCallCreate, "create", 0xFFFF, 0},
};
const CScriptGrammar kGrammar = {kCalls, sizeof kCalls / sizeof kCalls[0], kCallMessage};

const char* const kFaultNames[kFaultCount] = {"none",      "swipe-zero", "swipe-huge",  "swipe-grows",
                                              "full-zero", "full-huge",  "image-empty", "image-oversize"};

}  // namespace

const char* FaultName(uint32_t nFault) { return nFault < kFaultCount ? kFaultNames[nFault] : "none"; }

bool ParseFault(const std::string& sName, uint32_t& nFault)
{
    for (uint32_t i = 0; i < kFaultCount; ++i) {
        if (sName == kFaultNames[i]) {
            nFault = i;
            return true;
        }
    }
    return false;
}

const CScriptGrammar& ScriptGrammar() { return kGrammar; }

// The shared grammar reads 32-bit numbers; codes and statuses are 16-bit.
bool ParseScriptEntry(const std::string& sText, CScriptEntry& entry, std::string& why)
{
    if (!vsim::ParseScriptEntry(kGrammar, sText, entry, why))
        return false;
    const int32_t nAnswer = static_cast<int32_t>(entry.m_nAnswer);
    const bool bMessage = entry.m_nCall == kCallMessage;
    const bool bFits = bMessage ? nAnswer >= 0 && nAnswer <= 0xFFFF : nAnswer >= INT16_MIN && nAnswer <= INT16_MAX;
    if (!bFits) {
        why = "'" + sText + "': " + (bMessage ? "a message code is 0 to 65535" : "a status is -32768 to 32767");
        return false;
    }
    return true;
}

std::string FormatScriptEntry(const CScriptEntry& entry) { return vsim::FormatScriptEntry(kGrammar, entry); }

CSettings ReadSettings()
{
    CSettings settings;
    settings.m_sSensorName = WideFromUtf8(kDefaultSensorName);
    const CRegValues key(HKEY_LOCAL_MACHINE, SimulatorKeyPath(kFamily), false);
    if (!key.IsOpen())
        return settings;
    settings.m_nSensors = key.ReadDword(kSensors).value_or(kDefaultSensors);
    settings.m_sSensorName = key.ReadString(kSensorName).value_or(settings.m_sSensorName);
    settings.m_nNameStatus = key.ReadDword(kNameStatus).value_or(0);
    settings.m_nWidth = key.ReadDword(kWidth).value_or(kDefaultWidth);
    settings.m_nHeight = key.ReadDword(kHeight).value_or(kDefaultHeight);
    settings.m_nSeed = key.ReadDword(kSeed).value_or(kDefaultSeed);
    settings.m_sImageFile = key.ReadString(kImageFile).value_or(WString());
    settings.m_nFingerDelayMs = key.ReadDword(kFingerDelayMs).value_or(kDefaultFingerDelayMs);
    settings.m_nLeaveDelayMs = key.ReadDword(kLeaveDelayMs).value_or(0);
    if (!ParseFault(Utf8FromWide(key.ReadString(kFault).value_or(WString())), settings.m_nFault))
        settings.m_nFault = kFaultNone;
    settings.m_vScript = key.ReadMultiString(kScript).value_or(std::vector<WString>());
    return settings;
}

}  // namespace vsim::atsc70
