#include "pal/text/text.h"

#include <algorithm>

#include "unicode/Utf.h"

namespace pal {

size_t WideLength(const WCHAR* text)
{
    return text ? std::char_traits<char16_t>::length(text) : 0;
}

std::string ToUtf8(const WCHAR* text, size_t count)
{
    return unicode::ToUtf8(std::u16string_view(text, count));
}

std::string ToUtf8(const WCHAR* text) { return ToUtf8(text, WideLength(text)); }

std::string ToUtf8(const std::u16string& text) { return ToUtf8(text.data(), text.size()); }

std::u16string FromUtf8(const std::string& text) { return unicode::FromUtf8Lossy(text); }

std::string ToPosixPath(const WCHAR* path)
{
    std::string out = ToUtf8(path);
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

std::u16string FromPosixPath(const std::string& path) { return FromUtf8(path); }

size_t CopyToBuffer(const std::u16string& text, WCHAR* buffer, size_t capacity)
{
    if (!buffer || capacity == 0)
        return 0;
    const size_t count = std::min(text.size(), capacity - 1);
    std::copy_n(text.data(), count, buffer);
    buffer[count] = 0;
    return count;
}

}  // namespace pal
