#include "sim/common/GreyImageReader.h"

#include <memory>
#include <type_traits>

#include "sim/common/ImageFormats.h"
#include "sim/common/SimText.h"

namespace vsim {
namespace {

struct CHandleCloser {
    void operator()(HANDLE hFile) const { CloseHandle(hFile); }
};
using CFileHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, CHandleCloser>;

bool _Fail(std::string& why, const std::string& sProblem)
{
    why = sProblem;
    return false;
}

std::string _Win32(DWORD nCode) { return "Win32 error " + std::to_string(nCode); }

bool _ReadAll(HANDLE hFile, std::string& bytes, std::string& why)
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(hFile, &size))
        return _Fail(why, "its size cannot be read (" + _Win32(GetLastError()) + ")");
    if (size.QuadPart > kMaxImageFileBytes)
        return _Fail(why, "it has " + std::to_string(size.QuadPart) + " bytes, more than the " +
                              std::to_string(kMaxImageFileBytes) + " read");
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    size_t nDone = 0;
    while (nDone < bytes.size()) {
        DWORD nRead = 0;
        if (!ReadFile(hFile, &bytes[nDone], static_cast<DWORD>(bytes.size() - nDone), &nRead,
                      nullptr))
            return _Fail(why, "it cannot be read (" + _Win32(GetLastError()) + ")");
        if (nRead == 0)
            break;  // shrank meanwhile: parse what is there
        nDone += nRead;
    }
    bytes.resize(nDone);
    return true;
}

}  // namespace

bool CheckImageSize(uint64_t nWidth, uint64_t nHeight, std::string& why)
{
    if (nWidth == 0 || nHeight == 0)
        return _Fail(why, "the picture is empty (" + std::to_string(nWidth) + " x " +
                              std::to_string(nHeight) + ")");
    if (nWidth > kMaxImageSide || nHeight > kMaxImageSide || nWidth * nHeight > kMaxImagePixels)
        return _Fail(why, "the picture of " + std::to_string(nWidth) + " x " +
                              std::to_string(nHeight) + " pixels is larger than " +
                              std::to_string(kMaxImageSide) + " a side or " +
                              std::to_string(kMaxImagePixels) + " pixels");
    return true;
}

bool ReadGreyImage(const std::string& bytes, CGreyImage& out, std::string& why)
{
    if (bytes.empty())
        return _Fail(why, "the file is empty");
    if (bytes.compare(0, 2, "P5") == 0 || bytes.compare(0, 2, "P2") == 0)
        return ReadPgm(bytes, out, why);
    if (bytes.compare(0, 2, "BM") == 0)
        return ReadBmp(bytes, out, why);
    return _Fail(why, "neither a PGM (P5, P2) nor a BMP file");
}

bool ReadGreyImageFile(const WString& sPath, CGreyImage& out, std::string& why)
{
    const std::string sName = "'" + Utf8FromWide(sPath) + "'";
    // Refused before opening: a FIFO or a device would never end, or never start.
    const DWORD nAttributes = GetFileAttributesW(sPath.c_str());
    if (nAttributes != INVALID_FILE_ATTRIBUTES &&
        (nAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
        return _Fail(why, sName + " is not a regular file");
    const HANDLE hFile = CreateFileW(sPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return _Fail(why, sName + " cannot be opened (" + _Win32(GetLastError()) + ")");
    const CFileHandle file(hFile);
    std::string bytes;
    std::string sProblem;
    if (!_ReadAll(file.get(), bytes, sProblem) || !ReadGreyImage(bytes, out, sProblem))
        return _Fail(why, sName + ": " + sProblem);
    return true;
}

}  // namespace vsim
