// A failure that ends the tool: one line for standard error, exit status 1.
#pragma once
#include <string>
#include <utility>

namespace vadmin {

class CToolError {
public:
    explicit CToolError(std::u16string sLine) : m_sLine(std::move(sLine)) {}

    const std::u16string& Line() const { return m_sLine; }

private:
    std::u16string m_sLine;
};

// Every error line reads "ERROR: message", as in the other tools.
[[noreturn]] inline void Fail(const std::u16string& sMessage)
{
    throw CToolError(u"ERROR: " + sMessage);
}

}  // namespace vadmin
