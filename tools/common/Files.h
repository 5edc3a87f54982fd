// Whole files by name and the standard streams, as bytes on every platform.
#pragma once
#include <cstddef>
#include <filesystem>
#include <string>

namespace vtool {

// At most nLimit bytes: a caller that passes its bound plus one tells a file
// above the bound from one at it. False when the file cannot be read.
bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes, size_t nLimit);

enum class EExisting { Replace, Keep };

struct CWriteResult {
    enum class EOutcome { Written, AlreadyThere, Failed };
    EOutcome m_eOutcome = EOutcome::Failed;
    // For Failed, the line for the user: "cannot write 'X': no space left on
    // the device; the file is unchanged."
    std::u16string m_sProblem;
};

// Writes a new file beside the target, flushes it to the disk and only then
// moves it into the target's place, so that a full disk, a crash or a killed
// process leaves the target as it was, never half written. With Keep an
// existing target, even one created meanwhile by another process, stays as
// it is (AlreadyThere). A target that is not a regular file (a folder, a
// FIFO, a device) is refused without being opened.
CWriteResult WriteFileSafely(const std::filesystem::path& path, const std::string& bytes,
                             EExisting eExisting);
// WriteFileSafely replacing the target; false when it could not.
bool WriteWholeFile(const std::filesystem::path& path, const std::string& bytes);

// The same for standard input and output, without any newline translation.
bool ReadStandardInput(std::string& bytes, size_t nLimit);
bool WriteStandardOutput(const std::string& bytes);

}  // namespace vtool
