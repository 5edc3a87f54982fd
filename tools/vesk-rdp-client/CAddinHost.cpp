#include "CAddinHost.h"

#include "EntryPoints.h"
#include "ToolText.h"

namespace vrdpc {
namespace {

std::u16string Joined(const std::vector<std::string>& names)
{
    std::u16string sText;
    for (const std::string& sName : names)
        sText += (sText.empty() ? u"" : u", ") + vtool::FromUtf8(sName);
    return sText;
}

}  // namespace

CAddinHost::CAddinHost(CVirtualChannels& channels) : m_oChannels(channels) {}

CAddinHost::~CAddinHost() { UnloadAll(); }

std::u16string CAddinHost::Load(const std::u16string& sPath, std::u16string& sChannels)
{
    auto addin = std::make_unique<SAddin>();
    addin->sPath = sPath;
    addin->hModule = LoadLibraryW(vtool::ToWide(sPath).c_str());
    if (!addin->hModule)
        return u"cannot be loaded (error " + vtool::Decimal(GetLastError()) + u")";
    const auto pfnEntry = reinterpret_cast<PVIRTUALCHANNELENTRY>(
        reinterpret_cast<void*>(GetProcAddress(addin->hModule, "VirtualChannelEntry")));
    if (!pfnEntry) {
        FreeLibrary(addin->hModule);
        return u"exports no VirtualChannelEntry";
    }
    addin->entryPoints = MakeEntryPoints();
    m_oChannels.BeginEntry();
    const BOOL bEntered = pfnEntry(&addin->entryPoints);
    const std::vector<std::string> names = m_oChannels.EndEntry(bEntered != FALSE);
    if (!bEntered || names.empty()) {
        FreeLibrary(addin->hModule);
        return bEntered ? u"registered no channel" : u"answered FALSE from VirtualChannelEntry";
    }
    sChannels = Joined(names);
    m_vAddins.push_back(std::move(addin));
    return std::u16string();
}

std::vector<std::u16string> CAddinHost::UnloadAll()
{
    std::vector<std::u16string> paths;
    while (!m_vAddins.empty()) {
        FreeLibrary(m_vAddins.back()->hModule);
        paths.push_back(m_vAddins.back()->sPath);
        m_vAddins.pop_back();
    }
    return paths;
}

}  // namespace vrdpc
