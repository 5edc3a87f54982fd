// Wide text on POSIX: WCHAR is UTF-16 as on Windows; UTF-8 only at the
// boundary with the operating system.
#pragma once
#include <string>

#include "pal/base/wintypes.h"

#define W(s) u##s

namespace pal {

size_t WideLength(const WCHAR* text);

// Lone surrogates survive as their three-byte forms; invalid UTF-8 becomes
// U+FFFD.
std::string ToUtf8(const WCHAR* text);
std::string ToUtf8(const WCHAR* text, size_t count);
std::string ToUtf8(const std::u16string& text);
std::u16string FromUtf8(const std::string& text);

// Windows path to POSIX path: '\' separators become '/'.
std::string ToPosixPath(const WCHAR* path);
std::u16string FromPosixPath(const std::string& path);

// Copies text with its terminator into a buffer of `capacity` characters,
// cutting when needed; returns the characters copied, terminator excluded.
size_t CopyToBuffer(const std::u16string& text, WCHAR* buffer, size_t capacity);

}  // namespace pal
