#include "ClientRun.h"

#include <chrono>
#include <optional>

#include "AddinRegistry.h"
#include "CAddinHost.h"
#include "CListener.h"
#include "CSessionServer.h"
#include "CVirtualChannels.h"
#include "CWakePipe.h"
#include "Console.h"
#include "EntryPoints.h"
#include "ExitCode.h"
#include "ToolText.h"

namespace vrdpc {
namespace {

void Say(const std::u16string& sLine) { vtool::WriteOut(sLine + u'\n'); }

std::u16string Describe(const SAddinRegistration& registration)
{
    return u"add-in '" + registration.sKey + u"'" +
           (registration.sPath.empty() ? u"" : u" (" + registration.sPath + u")");
}

// Loads every registered add-in that can be used. The others are skipped
// with a line each on standard error; when none is left the last of those
// lines ends the run.
void LoadAddins(CAddinHost& host)
{
    const std::vector<SAddinRegistration> registrations = ReadAddinRegistrations();
    if (registrations.empty())
        Stop(kExitNoAddin, u"no Remote Desktop add-in is registered under HKEY_CURRENT_USER\\" +
                               std::u16string(kAddinsKey) + u".");
    std::vector<std::u16string> skipped;
    for (const SAddinRegistration& registration : registrations) {
        std::u16string sChannels;
        const std::u16string sProblem = registration.sProblem.empty()
                                            ? host.Load(registration.sPath, sChannels)
                                            : registration.sProblem;
        if (sProblem.empty())
            Say(Describe(registration) + u" loaded: channel(s) " + sChannels);
        else
            skipped.push_back(Describe(registration) + u" " + sProblem);
    }
    if (!host.IsEmpty() || skipped.empty()) {
        for (const std::u16string& sLine : skipped)
            vtool::WriteErr(u"WARNING: " + sLine + u"; skipped.\n");
        return;
    }
    const std::u16string sLast = skipped.back();
    skipped.pop_back();
    for (const std::u16string& sLine : skipped)
        vtool::WriteErr(u"WARNING: " + sLine + u"; skipped.\n");
    Stop(kExitNoAddin, sLast + u"; no add-in is left to serve.");
}

}  // namespace

int RunClient(const SClientSettings& settings)
{
    CListener listener(settings.m_sSocket);
    const CWakePipe wake;
    const CStopSignals signals(wake);
    CVirtualChannels channels([&wake] { wake.Wake(); });
    const CEntryPointsScope entryPoints(channels);
    CAddinHost host(channels);
    LoadAddins(host);
    Say(u"listening on " + vtool::FromUtf8(settings.m_sSocket));
    channels.Announce(CHANNEL_EVENT_INITIALIZED);

    CSessionServer server(listener, channels, wake);
    std::optional<CSessionServer::Clock::time_point> deadline;
    if (settings.m_nSeconds)
        deadline = CSessionServer::Clock::now() + std::chrono::seconds(settings.m_nSeconds);
    Say(u"shutting down: " + server.Run(deadline));
    server.ReportWrites();
    Say(channels.Terminate() ? u"CHANNEL_EVENT_DISCONNECTED and CHANNEL_EVENT_TERMINATED sent"
                             : u"CHANNEL_EVENT_TERMINATED sent (no session had connected)");
    for (const std::u16string& sPath : host.UnloadAll())
        Say(u"add-in " + sPath + u" freed");
    server.CloseAll();
    listener.Remove();
    Say(u"socket " + vtool::FromUtf8(settings.m_sSocket) + u" removed; done");
    return kExitDone;
}

}  // namespace vrdpc
