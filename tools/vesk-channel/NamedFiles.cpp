#include "NamedFiles.h"

#include "ChannelOptions.h"
#include "ExitCode.h"
#include "Files.h"
#include "ToolText.h"

namespace vchan {

std::u16string InputName(const std::u16string& sName)
{
    return sName == kStandardStream ? u"standard input" : u"'" + sName + u"'";
}

std::string ReadNamed(const std::u16string& sName, size_t nLimit)
{
    const bool bStandard = sName == kStandardStream;
    const std::u16string sShown = InputName(sName);
    std::string bytes;
    if (!(bStandard ? vtool::ReadStandardInput(bytes, nLimit + 1)
                    : vtool::ReadWholeFile(sName, bytes, nLimit + 1)))
        Stop(kExitFailed, u"cannot read " + sShown + u".");
    if (bytes.size() > nLimit)
        Stop(kExitFailed, sShown + u" holds more than " + vtool::Decimal(nLimit) + u" bytes.");
    return bytes;
}

void WriteNamed(const std::u16string& sName, const std::string& bytes)
{
    if (sName == kStandardStream) {
        if (!vtool::WriteStandardOutput(bytes))
            Stop(kExitFailed, u"cannot write standard output.");
    } else if (!vtool::WriteWholeFile(sName, bytes)) {
        Stop(kExitFailed, u"cannot write '" + sName + u"'.");
    }
}

}  // namespace vchan
