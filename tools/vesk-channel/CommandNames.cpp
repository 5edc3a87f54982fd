#include "CommandNames.h"

#include "CodeNames.h"
#include "ToolText.h"
#include "channel/CVCData.h"
#include "veskSensor.h"

namespace vchan {
namespace {

// What the session side and the client add-in send each other.
const uint32_t kChannelCodes[] = {
    VC_CMD_GET_IMAGE,          VC_CMD_RELEASE,          FS_EVENT_REMOTE_NO_SENSOR,
    FS_EVENT_REMOTE_BUSY,      FS_EVENT_REMOTE_ABORTED, VC_IMAGE_EVENT,
};

// The session's requests here, the events under vesk-capture's names;
// empty for a code without a name.
std::u16string _Name(uint32_t nCmd)
{
    if (nCmd == VC_CMD_GET_IMAGE)
        return u"VC_CMD_GET_IMAGE";
    if (nCmd == VC_CMD_RELEASE)
        return u"VC_CMD_RELEASE";
    const std::u16string sName = vtool::EventName(nCmd);
    return sName == vtool::Decimal(nCmd) ? std::u16string() : sName;
}

}  // namespace

std::u16string DescribeCommand(uint32_t nCmd)
{
    const std::u16string sName = _Name(nCmd);
    return vtool::Decimal(nCmd) + (sName.empty() ? u"" : u" (" + sName + u")");
}

std::u16string ListCommands()
{
    std::u16string sText;
    for (const uint32_t nCode : kChannelCodes) {
        std::u16string sCode = vtool::Decimal(nCode);
        sCode.insert(0, 6 - sCode.size(), u' ');
        sText += sCode + u"  " + _Name(nCode) + u'\n';
    }
    return sText;
}

}  // namespace vchan
