// Files by the names on the command line, where "-" is a standard stream;
// a failure stops the tool with a line that names the file.
#pragma once
#include <cstddef>
#include <string>

namespace vchan {

// "'NAME'", or "standard input" for "-".
std::u16string InputName(const std::u16string& sName);

// All of it, when it holds at most nLimit bytes.
std::string ReadNamed(const std::u16string& sName, size_t nLimit);
void WriteNamed(const std::u16string& sName, const std::string& bytes);

}  // namespace vchan
