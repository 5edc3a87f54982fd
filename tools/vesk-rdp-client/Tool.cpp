#include <string>
#include <vector>

#include "COptions.h"
#include "ClientOptions.h"
#include "ClientRun.h"
#include "Console.h"
#include "ExitCode.h"
#include "ToolError.h"

namespace vrdpc {
namespace {

const char16_t* const kUsage =
    u"vesk-rdp-client: plays the user's Remote Desktop client for the static\n"
    u"channels of a simulated session on this machine.\n"
    u"\n"
    u"  vesk-rdp-client --socket PATH [--seconds N]\n"
    u"\n"
    u"Loads the add-ins registered for the current user under\n"
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Terminal Server Client\\Default\\AddIns\n"
    u"(each subkey's REG_SZ value \"Name\" is the library's full path), calls\n"
    u"their VirtualChannelEntry, and listens on the local socket PATH (mode 0600)\n"
    u"for the session: a process whose VESK_RDP_SESSION names PATH is in a Remote\n"
    u"Desktop session, and its WtsApi32.dll opens channels there. Blocks the\n"
    u"session writes reach the add-in in chunks of at most 1600 bytes; blocks the\n"
    u"add-in writes wait in the channel's queue until a session handle reads them.\n"
    u"Every add-in event comes on one thread. A socket file that a client which\n"
    u"ended left behind is replaced.\n"
    u"\n"
    u"  --socket PATH  the socket to listen on\n"
    u"  --seconds N    end by itself after N seconds (default: run until Ctrl-C\n"
    u"                 or SIGTERM)\n"
    u"\n"
    u"On the way out the add-ins get CHANNEL_EVENT_DISCONNECTED (when a session\n"
    u"had connected) and CHANNEL_EVENT_TERMINATED, are freed, and the socket file\n"
    u"is removed.\n"
    u"\n"
    u"Exit status:\n"
    u"  0  ended by Ctrl-C, SIGTERM or --seconds\n"
    u"  1  no add-in is registered, or none could be used (one that cannot be\n"
    u"     loaded, lacks VirtualChannelEntry or answers FALSE from it is skipped,\n"
    u"     with a line on standard error)\n"
    u"  2  bad arguments\n"
    u"  3  the socket cannot be listened on: a running client holds it, or the\n"
    u"     path is another kind of file or cannot be used\n"
    u"  4  any other failure\n";

bool WantsHelp(const std::vector<std::u16string>& args)
{
    for (const std::u16string& sArgument : args) {
        if (vtool::IsHelpRequest(sArgument))
            return true;
    }
    return false;
}

int RunArguments(const std::vector<std::u16string>& args)
{
    if (WantsHelp(args)) {
        vtool::WriteOut(kUsage);
        return kExitDone;
    }
    return RunClient(ParseClientOptions(args));
}

}  // namespace
}  // namespace vrdpc

int vtool::RunTool(const std::vector<std::u16string>& args)
{
    return vtool::RunGuarded([&args] { return vrdpc::RunArguments(args); }, vrdpc::kExitBadArguments,
                             vrdpc::kExitFailed);
}
