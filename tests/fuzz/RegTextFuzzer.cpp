// regtext::Parse on any hive or .reg file. An accepted text must be written
// back, in either encoding, as a text that parses to the same document.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzKit.h"
#include "regtext/RegText.h"

using fuzzkit::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::string text(reinterpret_cast<const char*>(pData), nSize);
    regtext::Document document;
    regtext::ParseError error;
    if (!regtext::Parse(text, document, error)) {
        Require(document.keys.empty() && !error.message.empty());
        return 0;
    }
    const std::string written = regtext::Format(document, regtext::Encoding::Utf8);
    for (const auto encoding : {regtext::Encoding::Utf8, regtext::Encoding::Utf16le}) {
        regtext::Document reread;
        Require(regtext::Parse(regtext::Format(document, encoding), reread, error));
        Require(regtext::Format(reread, regtext::Encoding::Utf8) == written);
    }
    return 0;
}
