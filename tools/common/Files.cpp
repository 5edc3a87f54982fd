#include "Files.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace vtool {
namespace {

constexpr size_t kChunk = 65536;

// Text mode would turn CR LF into LF and stop at a Ctrl-Z.
void _BinaryMode(FILE* pStream)
{
#ifdef _WIN32
    _setmode(_fileno(pStream), _O_BINARY);
#else
    (void)pStream;
#endif
}

bool _ReadAll(std::istream& stream, std::string& bytes, size_t nLimit)
{
    bytes.clear();
    char buffer[kChunk];
    while (bytes.size() < nLimit) {
        stream.read(buffer, static_cast<std::streamsize>(std::min(kChunk, nLimit - bytes.size())));
        bytes.append(buffer, static_cast<size_t>(stream.gcount()));
        if (!stream)
            break;
    }
    return !stream.bad();
}

}  // namespace

bool ReadWholeFile(const std::filesystem::path& path, std::string& bytes, size_t nLimit)
{
    std::ifstream file(path, std::ios::binary);
    return file.is_open() && _ReadAll(file, bytes, nLimit);
}

bool WriteWholeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return !file.fail();
}

bool ReadStandardInput(std::string& bytes, size_t nLimit)
{
    _BinaryMode(stdin);
    return _ReadAll(std::cin, bytes, nLimit);
}

bool WriteStandardOutput(const std::string& bytes)
{
    std::fflush(stdout);
    _BinaryMode(stdout);
    const bool bWritten = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
    return std::fflush(stdout) == 0 && bWritten;
}

}  // namespace vtool
