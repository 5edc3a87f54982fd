#include "sim/veskbit2/VeskBitSettings.h"

#include <cctype>

#include "sim/common/CRegValues.h"
#include "sim/common/SimText.h"

namespace vsim::veskbit {
namespace {

struct CCallName {
    ECall m_eCall;
    const char* m_pszName;
    uint32_t m_nMax;
};

const CCallName kCalls[] = {
    {ECall::Attached, "attached", 0xFFFFFFFF},
    {ECall::Open, "open", 0xFFFF},
    {ECall::Image, "image", 0xFFFF},
    {ECall::Close, "close", 0xFFFF},
};

std::string _Lower(std::string sText)
{
    for (char& c : sText)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return sText;
}

const CCallName* _Call(const std::string& sName)
{
    for (const CCallName& call : kCalls) {
        if (_Lower(sName) == call.m_pszName)
            return &call;
    }
    return nullptr;
}

const CCallName& _Call(ECall eCall)
{
    for (const CCallName& call : kCalls) {
        if (call.m_eCall == eCall)
            return call;
    }
    return kCalls[0];  // not reached: every call is listed
}

}  // namespace

bool ParseScriptEntry(const std::string& sText, CScriptEntry& entry, std::string& why)
{
    const size_t nColon = sText.find(':');
    const CCallName* pCall = &_Call(ECall::Image);
    if (nColon != std::string::npos) {
        pCall = _Call(sText.substr(0, nColon));
        if (!pCall) {
            why = "'" + sText + "': the call before ':' is not attached, open, image or close";
            return false;
        }
    }
    const std::string sAnswer = nColon == std::string::npos ? sText : sText.substr(nColon + 1);
    uint32_t nAnswer = 0;
    if (!ParseNumber(sAnswer, pCall->m_nMax, nAnswer)) {
        why = "'" + sText + "': '" + sAnswer + "' is not a number of 0-" + Hex(pCall->m_nMax, 1) +
              " in decimal or 0x hexadecimal";
        return false;
    }
    entry = {pCall->m_eCall, nAnswer};
    return true;
}

std::string FormatScriptEntry(const CScriptEntry& entry)
{
    const int nDigits = entry.m_eCall == ECall::Attached ? 1 : 4;
    return std::string(_Call(entry.m_eCall).m_pszName) + ":" + Hex(entry.m_nAnswer, nDigits);
}

CSettings ReadSettings()
{
    const CRegValues key(HKEY_LOCAL_MACHINE, SimulatorKeyPath(kFamily), false);
    CSettings settings;
    if (!key.IsOpen())
        return settings;
    settings.m_bAttached = key.ReadDword(kAttached).value_or(1) != 0;
    settings.m_nSeed = key.ReadDword(kSeed).value_or(kDefaultSeed);
    settings.m_sImageFile = key.ReadString(kImageFile).value_or(WString());
    settings.m_nFingerDelayMs = key.ReadDword(kFingerDelayMs).value_or(kDefaultFingerDelayMs);
    settings.m_vScript = key.ReadMultiString(kScript).value_or(std::vector<WString>());
    return settings;
}

}  // namespace vsim::veskbit
