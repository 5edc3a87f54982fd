#include "regtext/RegText.h"

#include <algorithm>
#include <string_view>

#include "unicode/Utf.h"

namespace regtext {

namespace {

constexpr std::u16string_view kHeader = u"Windows Registry Editor Version 5.00";
constexpr std::u16string_view kCrLf = u"\r\n";
// The editor breaks hex data once a line reaches this column.
constexpr size_t kWrapColumn = 77;
constexpr const char16_t* kRoots[] = {u"HKEY_LOCAL_MACHINE", u"HKEY_CURRENT_USER",
                                      u"HKEY_CLASSES_ROOT", u"HKEY_USERS",
                                      u"HKEY_CURRENT_CONFIG"};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// ---------------------------------------------------------------- encodings

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

std::string EncodeUtf16le(const std::u16string& text)
{
    std::string out("\xFF\xFE", 2);
    out.reserve(2 + 2 * text.size());
    for (const char16_t unit : text) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
    return out;
}

// Strict UTF-8 (lone surrogates in their three-byte form included): a bad
// sequence is reported with its line rather than replaced, so that no name
// changes silently.
bool DecodeUtf8(std::string_view bytes, std::u16string& out, ParseError& error)
{
    size_t badOffset = 0;
    if (unicode::FromUtf8(bytes, out, badOffset))
        return true;
    const auto newlines = std::count(bytes.begin(), bytes.begin() + static_cast<long>(badOffset), '\n');
    error = {static_cast<size_t>(newlines) + 1, "invalid UTF-8 byte sequence"};
    return false;
}

bool DecodeText(const std::string& bytes, std::u16string& text, ParseError& error)
{
    const auto starts = [&](std::string_view prefix) {
        return bytes.compare(0, prefix.size(), prefix) == 0;
    };
    if (starts("\xFF\xFE")) {
        if (bytes.size() % 2 != 0) {
            error = {0, "UTF-16 text has an odd number of bytes"};
            return false;
        }
        text.reserve(bytes.size() / 2);
        for (size_t i = 2; i < bytes.size(); i += 2)
            text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8));
        return true;
    }
    if (starts("\xFE\xFF")) {
        error = {0, "big-endian UTF-16 is not supported"};
        return false;
    }
    const size_t skip = starts("\xEF\xBB\xBF") ? 3 : 0;
    return DecodeUtf8(std::string_view(bytes).substr(skip), text, error);
}

std::vector<std::u16string> SplitLines(const std::u16string& text)
{
    std::vector<std::u16string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos)
            end = text.size();
        size_t stop = end;
        if (stop > start && text[stop - 1] == u'\r')
            --stop;
        lines.emplace_back(text, start, stop - start);
        start = end + 1;
    }
    return lines;
}

// ---------------------------------------------------------------- parsing

class CParser {
public:
    CParser(const std::u16string& text, ParseError& error)
        : m_vLines(SplitLines(text)), m_error(error)
    {
    }

    bool Run(Document& document)
    {
        if (!_ParseHeader())
            return false;
        Key* current = nullptr;
        for (++m_nLine; m_nLine < m_vLines.size(); ++m_nLine) {
            m_nPos = 0;
            _SkipBlanks();
            const char16_t first = _Peek();
            if (_AtEnd() || first == u';')
                continue;
            if (first == u'[') {
                document.keys.emplace_back();
                current = &document.keys.back();
                if (!_ParseKey(*current))
                    return false;
            } else if (first == u'"' || first == u'@') {
                if (!current)
                    return _Fail("value line outside a key");
                if (current->remove)
                    return _Fail("value line under a key deletion");
                current->values.emplace_back();
                current->values.back().line = m_nLine + 1;
                if (!_ParseValue(current->values.back()))
                    return false;
            } else {
                return _Fail("unexpected text; expected [key], \"name\"=, @= or ;comment");
            }
        }
        return true;
    }

private:
    const std::u16string& _Line() const { return m_vLines[m_nLine]; }
    bool _AtEnd() const { return m_nPos >= _Line().size(); }
    char16_t _Peek() const { return _AtEnd() ? 0 : _Line()[m_nPos]; }

    void _SkipBlanks()
    {
        while (!_AtEnd() && IsBlank(_Line()[m_nPos]))
            ++m_nPos;
    }

    bool _Fail(std::string message)
    {
        m_error = {m_nLine + 1, std::move(message)};
        return false;
    }

    bool _Consume(std::u16string_view token)
    {
        if (!unicode::EqualsNoCaseAscii(std::u16string_view(_Line()).substr(m_nPos, token.size()), token))
            return false;
        m_nPos += token.size();
        return true;
    }

    bool _RestIsBlank(size_t from) const
    {
        return std::all_of(_Line().begin() + static_cast<std::ptrdiff_t>(from), _Line().end(),
                           IsBlank);
    }

    bool _ParseHeader()
    {
        for (; m_nLine < m_vLines.size(); ++m_nLine) {
            m_nPos = 0;
            _SkipBlanks();
            if (!_AtEnd() && _Peek() != u';')
                break;
        }
        if (m_nLine == m_vLines.size()) {
            m_error = {0, "empty text: expected \"Windows Registry Editor Version 5.00\""};
            return false;
        }
        if (_Consume(kHeader) && _RestIsBlank(m_nPos))
            return true;
        m_nPos = 0;
        if (_Consume(u"REGEDIT4"))
            return _Fail("REGEDIT4 files are not supported; expected version 5.00");
        return _Fail("bad header: expected \"Windows Registry Editor Version 5.00\"");
    }

    bool _ParseKey(Key& key)
    {
        key.line = m_nLine + 1;
        ++m_nPos;  // '['
        if (_Peek() == u'-') {
            key.remove = true;
            ++m_nPos;
        }
        // Key names may hold ']': the path runs to the last one on the line.
        const size_t close = _Line().rfind(u']');
        if (close == std::u16string::npos || close < m_nPos || !_RestIsBlank(close + 1))
            return _Fail("unterminated key name: missing ']'");
        std::u16string path = _Line().substr(m_nPos, close - m_nPos);
        while (!path.empty() && path.back() == u'\\')
            path.pop_back();
        if (path.empty())
            return _Fail("empty key name");
        if (path.find(u"\\\\") != std::u16string::npos)
            return _Fail("empty key name inside the path");
        const std::u16string_view root = std::u16string_view(path).substr(0, path.find(u'\\'));
        if (std::none_of(std::begin(kRoots), std::end(kRoots),
                         [&](const char16_t* known) { return unicode::EqualsNoCaseAscii(root, known); }))
            return _Fail("unknown root key; expected HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, ...");
        key.path = std::move(path);
        return true;
    }

    bool _ParseValue(Value& value)
    {
        if (_Peek() == u'@') {
            ++m_nPos;
        } else if (!_ParseQuoted(value.name)) {
            return false;  // "" also names the default value
        }
        _SkipBlanks();
        if (_Peek() != u'=')
            return _Fail("expected '=' after the value name");
        ++m_nPos;
        _SkipBlanks();
        if (_Peek() == u'-') {
            ++m_nPos;
            value.remove = true;
        } else if (!_ParseData(value)) {
            return false;
        }
        return _ExpectLineEnd();
    }

    // A string in double quotes with \\ and \" escapes; \r and \n are also
    // read so that names holding line breaks can be written at all.
    bool _ParseQuoted(std::u16string& text)
    {
        ++m_nPos;  // opening quote
        for (;;) {
            if (_AtEnd())
                return _Fail("unterminated string: missing closing '\"'");
            const char16_t c = _Line()[m_nPos++];
            if (c == u'"')
                return true;
            if (c != u'\\') {
                text += c;
                continue;
            }
            switch (_Peek()) {
            case u'\\': text += u'\\'; break;
            case u'"': text += u'"'; break;
            case u'r': text += u'\r'; break;
            case u'n': text += u'\n'; break;
            default: return _Fail("bad escape in string: use \\\\ for a backslash");
            }
            ++m_nPos;
        }
    }

    bool _ParseData(Value& value)
    {
        if (_Peek() == u'"') {
            std::u16string text;
            if (!_ParseQuoted(text))
                return false;
            value.type = kRegSz;
            value.data.reserve(2 * text.size() + 2);
            for (const char16_t unit : text) {
                value.data.push_back(static_cast<uint8_t>(unit & 0xFF));
                value.data.push_back(static_cast<uint8_t>(unit >> 8));
            }
            value.data.insert(value.data.end(), {0, 0});
            return true;
        }
        if (_Consume(u"dword:"))
            return _ParseDword(value);
        if (_Consume(u"hex:")) {
            value.type = kRegBinary;
            return _ParseHexList(value.data);
        }
        if (_Consume(u"hex(")) {
            uint32_t type = 0;
            if (!_ParseHexNumber(type) || !_Consume(u"):"))
                return _Fail("bad type in hex(N): expected 1 to 8 hex digits and \"):\"");
            value.type = type;
            return _ParseHexList(value.data);
        }
        return _Fail("unknown value type: expected \"text\", dword:, hex: or hex(N):");
    }

    bool _ParseHexNumber(uint32_t& number)
    {
        size_t digits = 0;
        number = 0;
        for (; unicode::HexDigitValue(_Peek()) >= 0; ++m_nPos, ++digits)
            number = (number << 4) | static_cast<uint32_t>(unicode::HexDigitValue(_Peek()));
        return digits >= 1 && digits <= 8;
    }

    bool _ParseDword(Value& value)
    {
        uint32_t number = 0;
        if (!_ParseHexNumber(number))
            return _Fail("bad dword value: expected 1 to 8 hex digits");
        value.type = kRegDword;
        value.data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                      static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
        return true;
    }

    // Blanks and "\" line continuations between hex bytes.
    bool _SkipGap()
    {
        for (;;) {
            _SkipBlanks();
            if (_Peek() != u'\\' || !_RestIsBlank(m_nPos + 1))
                return true;
            if (m_nLine + 1 >= m_vLines.size())
                return _Fail("line continuation at the end of the text");
            ++m_nLine;
            m_nPos = 0;
        }
    }

    bool _ParseHexList(std::vector<uint8_t>& bytes)
    {
        if (!_SkipGap())
            return false;
        if (_AtEnd() || _Peek() == u';')
            return true;  // no bytes at all
        for (;;) {
            const int high = unicode::HexDigitValue(_Peek());
            if (high < 0)
                return _Fail("bad hex byte: expected two hex digits");
            ++m_nPos;
            int byte = high;
            if (unicode::HexDigitValue(_Peek()) >= 0)
                byte = (high << 4) | unicode::HexDigitValue(_Line()[m_nPos++]);
            if (unicode::HexDigitValue(_Peek()) >= 0)
                return _Fail("bad hex byte: more than two hex digits");
            bytes.push_back(static_cast<uint8_t>(byte));
            if (!_SkipGap())
                return false;
            if (_AtEnd() || _Peek() == u';')
                return true;
            if (_Peek() != u',')
                return _Fail("bad hex byte: expected two hex digits");
            ++m_nPos;
            if (!_SkipGap())
                return false;
        }
    }

    bool _ExpectLineEnd()
    {
        _SkipBlanks();
        if (_AtEnd() || _Peek() == u';')
            return true;
        return _Fail("unexpected text after the value");
    }

    std::vector<std::u16string> m_vLines;
    ParseError& m_error;
    size_t m_nLine = 0;
    size_t m_nPos = 0;
};

// ---------------------------------------------------------------- writing

void AppendHexByte(std::u16string& out, uint8_t byte)
{
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
}

std::u16string HexNumber(uint32_t number, size_t minimumDigits)
{
    std::u16string digits;
    do {
        static constexpr char16_t kDigits[] = u"0123456789abcdef";
        digits.insert(digits.begin(), kDigits[number & 0xF]);
        number >>= 4;
    } while (number != 0);
    if (digits.size() < minimumDigits)
        digits.insert(0, minimumDigits - digits.size(), u'0');
    return digits;
}

std::u16string Quote(const std::u16string& text)
{
    std::u16string out = u"\"";
    for (const char16_t c : text) {
        switch (c) {
        case u'\\': out += u"\\\\"; break;
        case u'"': out += u"\\\""; break;
        case u'\r': out += u"\\r"; break;
        case u'\n': out += u"\\n"; break;
        default: out += c;
        }
    }
    return out + u'"';
}

// The text of REG_SZ data when "text" gives back exactly these bytes: whole
// UTF-16 units, one terminating zero and no other, well-formed, no line breaks.
bool PlainText(const std::vector<uint8_t>& data, std::u16string& text)
{
    if (data.size() < 2 || data.size() % 2 != 0 || data[data.size() - 2] != 0 ||
        data.back() != 0)
        return false;
    for (size_t i = 0; i + 2 < data.size(); i += 2)
        text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == 0 || c == u'\r' || c == u'\n')
            return false;
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))
            ++i;
        else if (IsHighSurrogate(c) || IsLowSurrogate(c))
            return false;
    }
    return true;
}

std::u16string HexData(uint32_t type, const std::vector<uint8_t>& data, size_t column)
{
    std::u16string out = type == kRegBinary ? u"hex:" : u"hex(" + HexNumber(type, 1) + u"):";
    column += out.size();
    for (size_t i = 0; i < data.size(); ++i) {
        AppendHexByte(out, data[i]);
        if (i + 1 == data.size())
            break;
        out += u',';
        column += 3;
        if (column >= kWrapColumn) {
            out += u"\\\r\n  ";
            column = 2;
        }
    }
    return out;
}

std::u16string NameField(const Value& value)
{
    return (value.name.empty() ? std::u16string(u"@") : Quote(value.name)) + u'=';
}

}  // namespace

bool Parse(const std::string& bytes, Document& document, ParseError& error)
{
    std::u16string text;
    if (!DecodeText(bytes, text, error))
        return false;
    Document parsed;
    if (!CParser(text, error).Run(parsed))
        return false;
    document = std::move(parsed);
    return true;
}

std::u16string FormatValueData(const Value& value, size_t nameColumnWidth)
{
    if (value.type == kRegSz) {
        std::u16string text;
        if (PlainText(value.data, text))
            return Quote(text);
    }
    if (value.type == kRegDword && value.data.size() == 4) {
        const uint32_t number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                (static_cast<uint32_t>(value.data[3]) << 24);
        return u"dword:" + HexNumber(number, 8);
    }
    return HexData(value.type, value.data, nameColumnWidth);
}

std::string Format(const Document& document, Encoding encoding)
{
    std::u16string text(kHeader);
    text += kCrLf;
    text += kCrLf;
    for (const Key& key : document.keys) {
        text += key.remove ? u"[-" : u"[";
        text += key.path;
        text += u']';
        text += kCrLf;
        for (const Value& value : key.values) {
            const std::u16string name = NameField(value);
            text += name;
            text += value.remove ? u"-" : FormatValueData(value, name.size());
            text += kCrLf;
        }
        text += kCrLf;
    }
    return encoding == Encoding::Utf16le ? EncodeUtf16le(text) : unicode::ToUtf8(text);
}

}  // namespace regtext
