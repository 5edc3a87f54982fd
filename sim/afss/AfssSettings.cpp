#include "sim/afss/AfssSettings.h"

#include <cctype>

#include "sim/common/CRegValues.h"
#include "sim/common/SimText.h"

namespace vsim::afss {
namespace {

const char* const kOpNames[kAfssSimOpCount] = {"startup", "connect", "shutdown", "request",
                                               "cancel",  "list",    "versions"};

// Statuses in canonical hexadecimal: the simulator's own are 0x1001 and up.
const CScriptCall kCalls[] = {
    {kAfssSimOpStartup, "startup", 0xFFFFFFFF, 4}, {kAfssSimOpConnect, "connect", 0xFFFFFFFF, 4},
    {kAfssSimOpShutdown, "shutdown", 0xFFFFFFFF, 4}, {kAfssSimOpRequest, "request", 0xFFFFFFFF, 4},
    {kAfssSimOpCancel, "cancel", 0xFFFFFFFF, 4},   {kAfssSimOpList, "list", 0xFFFFFFFF, 4},
    {kAfssSimOpVersions, "versions", 0xFFFFFFFF, 4},
};
const CScriptGrammar kGrammar = {kCalls, sizeof kCalls / sizeof kCalls[0], kAfssSimOpRequest};

const char* const kFaultNames[kAfssSimFaultCount] = {"none",       "list-count",  "image-short", "pixels-over",
                                                     "width-zero", "height-zero", "width-huge"};

std::vector<std::string> Split(const std::string& sText, char cSeparator)
{
    std::vector<std::string> parts(1);
    for (const char c : sText) {
        if (c == cSeparator)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

std::optional<CVersion> ReadVersion(const CRegValues& key, const WCHAR* pszName)
{
    CVersion version{};
    const std::optional<WString> oText = key.ReadString(pszName);
    if (!oText || !ParseVersion(Utf8FromWide(*oText), version))
        return std::nullopt;
    return version;
}

}  // namespace

const char* OpName(uint32_t nOp) { return nOp < kAfssSimOpCount ? kOpNames[nOp] : "?"; }

WString StatusValueName(uint32_t nOp)
{
    std::string sName = OpName(nOp);
    sName[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sName[0])));
    return WideFromUtf8(sName + "Status");
}

const char* FaultName(uint32_t nFault) { return nFault < kAfssSimFaultCount ? kFaultNames[nFault] : "none"; }

bool ParseFault(const std::string& sName, uint32_t& nFault)
{
    for (uint32_t i = 0; i < kAfssSimFaultCount; ++i) {
        if (sName == kFaultNames[i]) {
            nFault = i;
            return true;
        }
    }
    return false;
}

bool ParseVersion(const std::string& sText, CVersion& version)
{
    const std::vector<std::string> parts = Split(sText, '.');
    if (parts.size() != version.size())
        return false;
    CVersion parsed{};
    for (size_t i = 0; i < parts.size(); ++i) {
        const bool bDigits = !parts[i].empty() && parts[i].find_first_not_of("0123456789") == std::string::npos;
        if (!bDigits || !ParseNumber(parts[i], 0xFFFFFFFF, parsed[i]))
            return false;
    }
    version = parsed;
    return true;
}

std::string FormatVersion(const CVersion& version)
{
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]) + "." +
           std::to_string(version[3]);
}

bool ParseEvent(const std::string& sText, CQueuedEvent& event, std::string& why)
{
    const std::vector<std::string> parts = Split(sText, ':');
    if (parts.size() < 2 || parts.size() > 2 + kAfssSimMaxQueuedPayloads) {
        why = "'" + sText + "': an event is TYPE:CODE with up to " + std::to_string(kAfssSimMaxQueuedPayloads) +
              " :PAYLOADTYPE";
        return false;
    }
    std::vector<uint32_t> numbers(parts.size());
    for (size_t i = 0; i < parts.size(); ++i) {
        if (!ParseNumber(parts[i], 0xFFFFFFFF, numbers[i])) {
            why = "'" + sText + "': '" + parts[i] + "' is not a number";
            return false;
        }
    }
    event.m_nType = numbers[0];
    event.m_nCode = numbers[1];
    event.m_vPayloadTypes.assign(numbers.begin() + 2, numbers.end());
    return true;
}

std::string FormatEvent(const CQueuedEvent& event)
{
    std::string sText = std::to_string(event.m_nType) + ":" + std::to_string(event.m_nCode);
    for (const uint32_t nType : event.m_vPayloadTypes)
        sText += ":" + std::to_string(nType);
    return sText;
}

const CScriptGrammar& ScriptGrammar() { return kGrammar; }

bool ParseScriptEntry(const std::string& sText, CScriptEntry& entry, std::string& why)
{
    return vsim::ParseScriptEntry(kGrammar, sText, entry, why);
}

std::string FormatScriptEntry(const CScriptEntry& entry) { return vsim::FormatScriptEntry(kGrammar, entry); }

CSettings ReadSettings()
{
    CSettings settings;
    const CRegValues key(HKEY_LOCAL_MACHINE, SimulatorKeyPath(kFamily), false);
    if (!key.IsOpen())
        return settings;
    const uint32_t nGeneration = key.ReadDword(kGeneration).value_or(kDefaultGeneration);
    settings.m_nGeneration = nGeneration == 8 ? 8 : kDefaultGeneration;
    settings.m_bNoInterface = key.ReadDword(kNoInterface).value_or(0) != 0;
    settings.m_nSensors = key.ReadDword(kSensors).value_or(kDefaultSensors);
    settings.m_nWidth = key.ReadDword(kWidth).value_or(kDefaultWidth);
    settings.m_nHeight = key.ReadDword(kHeight).value_or(kDefaultHeight);
    settings.m_nSeed = key.ReadDword(kSeed).value_or(kDefaultSeed);
    settings.m_sImageFile = key.ReadString(kImageFile).value_or(WString());
    settings.m_nImageFormat = key.ReadDword(kImageFormat).value_or(0);
    settings.m_nFingerDelayMs = key.ReadDword(kFingerDelayMs).value_or(kDefaultFingerDelayMs);
    settings.m_clientVersion = ReadVersion(key, kClientVersion).value_or(kDefaultVersion);
    settings.m_serviceVersion = ReadVersion(key, kServiceVersion).value_or(settings.m_clientVersion);
    for (uint32_t nOp = 0; nOp < kAfssSimOpCount; ++nOp)
        settings.m_aStatus[nOp] = key.ReadDword(StatusValueName(nOp)).value_or(0);
    if (!ParseFault(Utf8FromWide(key.ReadString(kFault).value_or(WString())), settings.m_nFault))
        settings.m_nFault = kAfssSimFaultNone;
    settings.m_vScript = key.ReadMultiString(kScript).value_or(std::vector<WString>());
    return settings;
}

std::vector<CQueuedEvent> TakeStoredEvents(std::string& why)
{
    std::vector<CQueuedEvent> events;
    CRegValues key(HKEY_LOCAL_MACHINE, SimulatorKeyPath(kFamily), false);
    const std::optional<std::vector<WString>> oTexts = key.IsOpen() ? key.ReadMultiString(kEvents) : std::nullopt;
    if (!oTexts || oTexts->empty())
        return events;
    for (const WString& sText : *oTexts) {
        CQueuedEvent event;
        std::string sWhy;
        if (ParseEvent(Utf8FromWide(sText), event, sWhy))
            events.push_back(std::move(event));
        else
            why += (why.empty() ? "" : "; ") + sWhy;
    }
    // Once: a process without write rights sends them at every connect.
    CRegValues writable(HKEY_LOCAL_MACHINE, SimulatorKeyPath(kFamily), true);
    if (writable.IsOpen())
        writable.Delete(kEvents);
    return events;
}

}  // namespace vsim::afss
