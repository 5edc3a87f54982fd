// The library's codes in words.
#pragma once
#include <cstdint>
#include <string>

namespace vtool {

// "FS_EVENT_IMAGE"; a code the header does not name is shown as its number.
std::u16string EventName(uint32_t nEvent);
// "1 image", "3 images".
std::u16string CountImages(uint32_t nCount);
// "vesk bit (3)", "none (0)".
std::u16string DescribeScanner(int32_t nType);

}  // namespace vtool
