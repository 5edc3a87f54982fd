// The pixels of an image message as a picture file, and back. Either file
// stores the rows in the message's order: a greymap shows the first row at
// the top, a bitmap (as vesk-capture writes them) at the bottom.
#pragma once
#include <string>

#include "ChannelOptions.h"
#include "ImageEncoding.h"
#include "channel/CVCData.h"

namespace vchan {

std::string EncodeMessageImage(const CVCData& message, EImageFile eFile);
// A PGM or BMP file, told apart by its content, as the pixels of a message;
// a file that is not a usable picture stops the tool.
vtool::CImage ReadMessageImage(const std::u16string& sPath);

}  // namespace vchan
