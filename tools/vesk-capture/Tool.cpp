#include <exception>
#include <string>
#include <vector>

#include "Commands.h"
#include "Console.h"
#include "ExitCode.h"
#include "ToolError.h"
#include "ToolText.h"

namespace vcap {
namespace {

const char16_t* const kUsage =
    u"vesk-capture: scanner detection and capture through veskSensor's exported\n"
    u"interface, as a caller of the library would do it.\n"
    u"\n"
    u"  vesk-capture detect\n"
    u"  vesk-capture capture [--count N | --continuous] [--out DIR] [--format bmp|pgm]\n"
    u"                       [--priority 0|1|2] [--timeout SECONDS]\n"
    u"\n"
    u"detect   prints the scanner a capture would use, by name and code:\n"
    u"         \"scanner: vesk bit (3)\".\n"
    u"capture  captures images and saves them as DIR/image-001.bmp, image-002.bmp...,\n"
    u"         numbered on after the highest image-NNN.bmp or image-NNN.pgm already\n"
    u"         in DIR; an existing file is never replaced.\n"
    u"\n"
    u"  --count N          stop after N images (default 1: a single capture)\n"
    u"  --continuous       capture until Ctrl-C or the time-out\n"
    u"  --out DIR          folder of the images, created when missing (default .)\n"
    u"  --format bmp|pgm   bmp (default): 8-bit bitmap with a grey palette;\n"
    u"                     pgm: binary greymap (P5)\n"
    u"  --priority 0|1|2   scanner access priority (default 0)\n"
    u"  --timeout SECONDS  stop after this long (default: no time-out)\n"
    u"\n"
    u"Every event is printed as it arrives, on a line that begins with the local\n"
    u"time (only event lines do): \"12:00:01.234  FS_EVENT_IMAGE  240 x 368\", or\n"
    u"the code's number when it has no name here; every saved file on a line\n"
    u"\"saved PATH\". Ctrl-C stops the capture and waits for its end; a second\n"
    u"Ctrl-C ends the tool at once. A capture that has not ended 5 s after its\n"
    u"stop (time-out, Ctrl-C, a file that cannot be written) is abandoned with\n"
    u"a line on standard error.\n"
    u"\n"
    u"The library delivers the bottom row of the picture first: a bitmap stores\n"
    u"the rows in that order, a greymap in reverse, so both show it upright.\n"
    u"\n"
    u"Exit status:\n"
    u"  0  done: a scanner was found; every image was saved, or Ctrl-C ended a\n"
    u"     --continuous capture\n"
    u"  1  no scanner\n"
    u"  2  the time-out came first (even when the capture then did not end)\n"
    u"  3  bad arguments, or the folder of --out cannot be used\n"
    u"  4  the capture failed: the library refused to start it, it ended before N\n"
    u"     images (the scanner broke it off or went away, Ctrl-C), or an image\n"
    u"     could not be written\n";

bool _IsHelp(const std::u16string& sArgument)
{
    return sArgument == u"--help" || sArgument == u"-h" || sArgument == u"-?" ||
           sArgument == u"/?";
}

bool _WantsHelp(const std::vector<std::u16string>& args)
{
    if (!args.empty() && args[0] == u"help")
        return true;
    for (const std::u16string& sArgument : args) {
        if (_IsHelp(sArgument))
            return true;
    }
    return false;
}

int _Dispatch(const std::vector<std::u16string>& args)
{
    if (_WantsHelp(args)) {
        vtool::WriteOut(kUsage);
        return kExitDone;
    }
    if (args.empty())
        vtool::Fail(u"missing command; 'vesk-capture --help' lists them.");
    const std::vector<std::u16string> rest(args.begin() + 1, args.end());
    if (vtool::EqualsNoCase(args[0], u"detect"))
        return RunDetect(rest);
    if (vtool::EqualsNoCase(args[0], u"capture"))
        return RunCapture(rest);
    vtool::Fail(u"unknown command '" + args[0] + u"'; 'vesk-capture --help' lists them.");
}

int _Run(const std::vector<std::u16string>& args)
{
    try {
        return _Dispatch(args);
    } catch (const vtool::CToolError& error) {
        vtool::WriteErr(error.Line() + u'\n');
        return kExitBadArguments;
    } catch (const std::exception& error) {
        vtool::WriteErr(u"ERROR: " + vtool::FromUtf8(error.what()) + u'\n');
        return kExitFailed;
    }
}

}  // namespace
}  // namespace vcap

int vtool::RunTool(const std::vector<std::u16string>& args) { return vcap::_Run(args); }
