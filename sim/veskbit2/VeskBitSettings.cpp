#include "sim/veskbit2/VeskBitSettings.h"

#include "sim/common/CRegValues.h"
#include "sim/common/SimText.h"

namespace vsim::veskbit {
namespace {

const CScriptCall kCalls[] = {
    {kCallAttached, "attached", 0xFFFFFFFF, 1},
    {kCallOpen, "open", 0xFFFF, 4},
    {kCallImage, "image", 0xFFFF, 4},
    {kCallClose, "close", 0xFFFF, 4},
};
const CScriptGrammar kGrammar = {kCalls, sizeof kCalls / sizeof kCalls[0], kCallImage};

}  // namespace

const CScriptGrammar& ScriptGrammar() { return kGrammar; }

bool ParseScriptEntry(const std::string& sText, CScriptEntry& entry, std::string& why)
{
    return vsim::ParseScriptEntry(kGrammar, sText, entry, why);
}

std::string FormatScriptEntry(const CScriptEntry& entry)
{
    return vsim::FormatScriptEntry(kGrammar, entry);
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
