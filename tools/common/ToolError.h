// A failure that ends a tool: one line for standard error, and the exit
// status it asks for, else the tool's status for bad arguments.
#pragma once
#include <functional>
#include <string>
#include <utility>

namespace vtool {

class CToolError {
public:
    explicit CToolError(std::u16string sLine) : m_sLine(std::move(sLine)) {}
    CToolError(std::u16string sLine, int nStatus)
        : m_sLine(std::move(sLine)), m_nStatus(nStatus), m_bOwnStatus(true)
    {
    }

    const std::u16string& Line() const { return m_sLine; }
    int Status(int nBadArguments) const { return m_bOwnStatus ? m_nStatus : nBadArguments; }

private:
    std::u16string m_sLine;
    int m_nStatus = 0;
    bool m_bOwnStatus = false;
};

// Every error line but a bad line of an input file reads "ERROR: message".
[[noreturn]] inline void Fail(const std::u16string& sMessage)
{
    throw CToolError(u"ERROR: " + sMessage);
}

// Runs a tool's program; what it throws goes to standard error as one line
// and ends the run with the error's status, or nFailed for an exception
// that is no CToolError.
int RunGuarded(const std::function<int()>& program, int nBadArguments, int nFailed);

}  // namespace vtool
