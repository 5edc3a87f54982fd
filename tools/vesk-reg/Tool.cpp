#include <exception>

#include "CToolError.h"
#include "Commands.h"
#include "Platform.h"
#include "Text.h"

namespace vreg {
namespace {

void _Dispatch(const CCommandLine& line)
{
    switch (line.m_eCommand) {
    case ECommand::Help:
        return PrintUsage();
    case ECommand::Query:
        return RunQuery(line);
    case ECommand::Add:
        return RunAdd(line);
    case ECommand::Delete:
        return RunDelete(line);
    case ECommand::Import:
        return RunImport(line);
    case ECommand::Export:
        return RunExport(line);
    }
}

}  // namespace

void ReportSuccess()
{
    WriteOut(u"The operation completed successfully.\n");
}

int Run(const std::vector<std::u16string>& args)
{
    try {
        _Dispatch(ParseCommandLine(args));
        return 0;
    } catch (const CToolError& error) {
        WriteErr(error.Line() + u'\n');
    } catch (const std::exception& error) {
        WriteErr(u"ERROR: " + FromUtf8(error.what()) + u'\n');
    }
    return 1;
}

}  // namespace vreg

int vtool::RunTool(const std::vector<std::u16string>& args) { return vreg::Run(args); }
