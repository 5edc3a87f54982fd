#include <string>
#include <vector>

#include "COptions.h"
#include "CommandNames.h"
#include "Commands.h"
#include "Console.h"
#include "ExitCode.h"
#include "ToolError.h"
#include "ToolText.h"

namespace vchan {
namespace {

const char16_t* const kUsage =
    u"vesk-channel: opens and seals the messages of veskSensor's Remote Desktop\n"
    u"channel, for support engineers and for tools that speak to either side.\n"
    u"\n"
    u"  vesk-channel open [--hex] FILE [--image OUT]\n"
    u"  vesk-channel seal [--cmd CODE] --pid PID [--image FILE] [--seed N] [--hex] OUT\n"
    u"\n"
    u"open   checks the envelope in FILE ('-': standard input) and prints its fields,\n"
    u"       one \"name: value\" line each: envelope, ciphertext, seed, command,\n"
    u"       reserved, width, height, process id; then for an image event the size\n"
    u"       of its compressed stream (\"image stream: 1234 bytes\"), for another\n"
    u"       code any bytes after the header, which the receiver ignores\n"
    u"       (\"ignored: 3 bytes\").\n"
    u"  --image OUT   also writes the image event's pixels to OUT, a greymap (.pgm)\n"
    u"                or a bitmap (.bmp) by its extension; a message without an\n"
    u"                image is an error.\n"
    u"\n"
    u"seal   builds a message and writes its envelope to OUT ('-': standard output).\n"
    u"  --cmd CODE    its command code; --image implies 5501, the image event, and\n"
    u"                5501 needs --image\n"
    u"  --pid PID     the calling process ID\n"
    u"  --image FILE  a PGM (P5, P2) or 8-bit BMP picture, told by its content, as\n"
    u"                the pixels of an image event (at most 400000 of them)\n"
    u"  --seed N      the key's seed, for the same bytes on every run (default: a\n"
    u"                fresh random seed)\n"
    u"CODE, PID and N are decimal or 0x hex, 32 bits; CODE and PID are not 0.\n"
    u"\n"
    u"--hex  the envelope as hex text instead of bytes: written in lower case, 64\n"
    u"       digits a line; read in either case, blanks and line breaks skipped.\n"
    u"\n"
    u"Both picture files hold the rows in the message's order: a greymap shows the\n"
    u"message's first row at the top, a bitmap at the bottom (as vesk-capture\n"
    u"saves images). A picture sealed from either kind opens into the same kind\n"
    u"unchanged.\n"
    u"\n"
    u"Commands with a name:\n";

const char16_t* const kExitStatus =
    u"\n"
    u"Exit status:\n"
    u"  0  done\n"
    u"  1  the message is refused (the reason follows on standard error), or the\n"
    u"     --hex input is not hex text\n"
    u"  2  bad arguments\n"
    u"  3  a file cannot be read or written, the picture cannot be used, there is\n"
    u"     no image to write, or the message cannot be sealed\n";

bool _WantsHelp(const std::vector<std::u16string>& args)
{
    if (args.empty() || args[0] == u"help")
        return true;
    for (const std::u16string& sArgument : args) {
        if (vtool::IsHelpRequest(sArgument))
            return true;
    }
    return false;
}

int _Dispatch(const std::vector<std::u16string>& args)
{
    if (_WantsHelp(args)) {
        vtool::WriteOut(kUsage + ListCommands() + kExitStatus);
        return kExitDone;
    }
    const std::vector<std::u16string> rest(args.begin() + 1, args.end());
    if (vtool::EqualsNoCase(args[0], u"open"))
        return RunOpen(rest);
    if (vtool::EqualsNoCase(args[0], u"seal"))
        return RunSeal(rest);
    vtool::Fail(u"unknown command '" + args[0] + u"'; 'vesk-channel --help' lists them.");
}

}  // namespace
}  // namespace vchan

int vtool::RunTool(const std::vector<std::u16string>& args)
{
    return vtool::RunGuarded([&args] { return vchan::_Dispatch(args); }, vchan::kExitBadArguments,
                             vchan::kExitFailed);
}
