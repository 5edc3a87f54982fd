#include "ToolError.h"

#include <exception>

#include "Console.h"
#include "ToolText.h"

namespace vtool {

int RunGuarded(const std::function<int()>& program, int nBadArguments, int nFailed)
{
    try {
        return program();
    } catch (const CToolError& error) {
        WriteErr(error.Line() + u'\n');
        return error.Status(nBadArguments);
    } catch (const std::exception& error) {
        WriteErr(u"ERROR: " + FromUtf8(error.what()) + u'\n');
        return nFailed;
    }
}

}  // namespace vtool
