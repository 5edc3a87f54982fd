// A failure that ends a tool: one line for standard error, exit status 1.
#pragma once
#include <string>
#include <utility>

namespace vtool {

class CToolError {
public:
    explicit CToolError(std::u16string sLine) : m_sLine(std::move(sLine)) {}

    const std::u16string& Line() const { return m_sLine; }

private:
    std::u16string m_sLine;
};

// Every error line but a bad line of an input file reads "ERROR: message".
[[noreturn]] inline void Fail(const std::u16string& sMessage)
{
    throw CToolError(u"ERROR: " + sMessage);
}

}  // namespace vtool
