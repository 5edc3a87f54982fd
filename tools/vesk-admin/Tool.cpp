#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "COptions.h"
#include "CToolError.h"
#include "Commands.h"
#include "Platform.h"
#include "Text.h"

namespace vadmin {
namespace {

// A new command adds one line here.
const CCommand* const kCommands[] = {
    &kLoggingCommand,
    &kOrderCommand,
    &kSnapshotsCommand,
    &kTrayCommand,
    &kSimCommand,
    &kServiceCommand,
};

const char16_t* const kSeeHelp = u"'vesk-admin --help' lists the commands.";

void _PrintUsage()
{
    std::u16string sText =
        u"vesk-admin: the administrator's settings of veskSensor in words instead of bytes.\n"
        u"\n"
        u"  vesk-admin COMMAND [OPTIONS]\n"
        u"  vesk-admin COMMAND --help\n"
        u"\n"
        u"Commands:\n";
    size_t nWidth = 0;
    for (const CCommand* pCommand : kCommands)
        nWidth = std::max(nWidth, std::u16string(pCommand->m_pszName).size());
    for (const CCommand* pCommand : kCommands) {
        std::u16string sName = pCommand->m_pszName;
        sName.resize(nWidth, u' ');
        sText += u"  " + sName + u"  " + pCommand->m_pszSummary + u'\n';
    }
    sText += u"\n"
             u"Exit status 0 on success. Bad arguments and registry failures give 1 with one\n"
             u"line on standard error; each command's --help says when else it answers 1.\n";
    WriteOut(sText);
}

const CCommand& _FindCommand(const std::u16string& sName)
{
    for (const CCommand* pCommand : kCommands) {
        if (EqualsNoCase(sName, pCommand->m_pszName))
            return *pCommand;
    }
    Fail(u"unknown command '" + sName + u"'; " + kSeeHelp);
}

int _Dispatch(const std::vector<std::u16string>& args)
{
    if (args.empty())
        Fail(std::u16string(u"missing command; ") + kSeeHelp);
    if (vtool::IsHelpRequest(args[0]) || args[0] == u"help") {
        _PrintUsage();
        return 0;
    }
    const CCommand& command = _FindCommand(args[0]);
    const std::vector<std::u16string> rest(args.begin() + 1, args.end());
    for (const std::u16string& sArgument : rest) {
        if (vtool::IsHelpRequest(sArgument)) {
            WriteOut(command.m_pszUsage);
            return 0;
        }
    }
    return command.m_pfnRun(rest);
}

}  // namespace

int Run(const std::vector<std::u16string>& args)
{
    try {
        return _Dispatch(args);
    } catch (const CToolError& error) {
        WriteErr(error.Line() + u'\n');
    } catch (const std::exception& error) {
        WriteErr(u"ERROR: " + FromUtf8(error.what()) + u'\n');
    }
    return 1;
}

}  // namespace vadmin

int vtool::RunTool(const std::vector<std::u16string>& args) { return vadmin::Run(args); }
