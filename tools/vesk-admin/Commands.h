// The commands of the tool. A command is one descriptor, defined beside its
// implementation and listed in the table of Tool.cpp.
#pragma once
#include <string>
#include <vector>

namespace vadmin {

struct CCommand {
    const char16_t* m_pszName;
    const char16_t* m_pszSummary;  // one line of the general usage
    const char16_t* m_pszUsage;    // the command's own usage, lines ending in '\n'
    // Gets the arguments after the command's name and returns the exit
    // status; throws CToolError for bad input or a failure.
    int (*m_pfnRun)(const std::vector<std::u16string>& args);
};

extern const CCommand kLoggingCommand;
extern const CCommand kOrderCommand;
extern const CCommand kSnapshotsCommand;
extern const CCommand kTrayCommand;
extern const CCommand kSimCommand;
extern const CCommand kServiceCommand;

}  // namespace vadmin
