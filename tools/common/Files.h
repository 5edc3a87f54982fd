// Whole files by name and the standard streams, as bytes on every platform.
#pragma once
#include <cstddef>
#include <filesystem>
#include <string>

namespace vtool {

// At most nLimit bytes: a caller that passes its bound plus one tells a file
// above the bound from one at it. False when the file cannot be read.
bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes, size_t nLimit);
// Creates or replaces the file; false when it cannot be written completely.
bool WriteWholeFile(const std::filesystem::path& path, const std::string& bytes);

// The same for standard input and output, without any newline translation.
bool ReadStandardInput(std::string& bytes, size_t nLimit);
bool WriteStandardOutput(const std::string& bytes);

}  // namespace vtool
