// The codes a channel message carries, in words.
#pragma once
#include <cstdint>
#include <string>

namespace vchan {

// "5501 (FS_EVENT_IMAGE)"; a code without a name here is its number alone.
std::u16string DescribeCommand(uint32_t nCmd);
// The codes the channel carries, "   128  VC_CMD_GET_IMAGE" a line.
std::u16string ListCommands();

}  // namespace vchan
