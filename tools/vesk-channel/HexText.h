// Envelopes as hex text, for mail, logs and terminals.
#pragma once
#include <string>

namespace vchan {

// Lower-case digits, 64 to a line, every line ended.
std::string ToHexText(const std::string& bytes);
// Either case; blanks and line breaks anywhere are skipped. On false `why`
// says what is wrong and `bytes` is unspecified.
bool FromHexText(const std::string& text, std::string& bytes, std::string& why);

}  // namespace vchan
