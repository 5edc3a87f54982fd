// The text format of the Windows registry editor (".reg", version 5.00):
// parsing and writing, byte-exact for every value type. Portable: used by the
// POSIX registry and by vesk-reg on both platforms.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace regtext {

constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;
constexpr uint32_t kRegQword = 11;

struct Value {
    std::u16string name;        // empty: the key's default value ("@")
    uint32_t type = kRegNone;
    std::vector<uint8_t> data;  // exactly the stored bytes
    bool remove = false;        // "name"=- : delete on import
    size_t line = 0;            // where it starts in the parsed text (1-based)
};

struct Key {
    std::u16string path;  // full path from the root name, e.g. HKEY_LOCAL_MACHINE\SOFTWARE\vesk
    bool remove = false;  // [-path] : delete the key and its subtree on import
    std::vector<Value> values;
    size_t line = 0;      // line of the key's header in the parsed text (1-based)
};

struct Document {
    std::vector<Key> keys;
};

struct ParseError {
    size_t line = 0;  // 1-based; 0 when the error concerns the whole text
    std::string message;
};

enum class Encoding { Utf8, Utf16le };

// Accepts UTF-16LE with its byte-order mark and UTF-8 with or without one;
// "\r\n" and "\n" line ends; "\" line continuations; ";" comments. The first
// line that is neither blank nor a comment must be "Windows Registry Editor
// Version 5.00". Key paths must start with a root name (HKEY_LOCAL_MACHINE,
// ...); trailing '\' are dropped. Besides \\ and \" a quoted string may hold
// \r and \n, which Format writes only for names holding line breaks. On
// failure `document` is left as it was and `error` names the line.
bool Parse(const std::string& bytes, Document& document, ParseError& error);

// Header, then each key as "[path]" followed by its values, with CR LF line
// ends. UTF-16LE output starts with a byte-order mark.
std::string Format(const Document& document, Encoding encoding);

// The right-hand side of one value line ("text", dword:0000000a,
// hex(7):41,00,...), choosing the hex form whenever the readable form would
// not give back the same bytes. Long hex data is wrapped as the editor does;
// `nameColumnWidth` is the width of what precedes it on the line (the quoted
// name and '=', e.g. 7 for "name"=), and continuation lines end in ",\" CR LF.
std::u16string FormatValueData(const Value& value, size_t nameColumnWidth);

}  // namespace regtext
