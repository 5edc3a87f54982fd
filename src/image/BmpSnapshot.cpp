// CRawImg::SaveBmp: the record as an uncompressed bitmap file.
#include <cstring>
#include <limits>

#include "image/CRawImg.h"
#include "support/LittleEndian.h"
#include "image/SnapshotSettings.h"

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kPixelOffset = kFileHeaderSize + CRawImg::CRawImgHdr::kInfoSize;

// File header, information block, then every stored pixel byte as stored.
// The size field counts the image's width x height bytes, as bitmap readers
// expect, even when the record holds more.
CMyByteArray BuildBitmapFile(const CRawImg& image)
{
    const CMyByteArray& baPixels = image.GetImageData();
    CMyByteArray baFile(kPixelOffset + baPixels.GetSize());
    uint8_t* const pFile = baFile.GetData();
    std::memset(pFile, 0, kFileHeaderSize);
    pFile[0] = 'B';
    pFile[1] = 'M';
    StoreLE32(pFile + 2, kPixelOffset + image.GetWidth() * image.GetHeight());
    StoreLE32(pFile + 10, kPixelOffset);
    std::memcpy(pFile + kFileHeaderSize, image.GetBitmapInfo(), CRawImg::CRawImgHdr::kInfoSize);
    std::memcpy(pFile + kPixelOffset, baPixels.GetData(), baPixels.GetSize());
    return baFile;
}

WString JoinPath(const WString& sFolder, const WString& sFileName)
{
    if (sFolder.back() == W('\\'))
        return sFolder + sFileName;
    return sFolder + W('\\') + sFileName;
}

}  // namespace

bool CRawImg::SaveBmp(const WString& sFileName) const
{
    WString sFolder;
    if (!ReadSaveBmpSettings(sFolder) || sFileName.empty() || _IsEmpty() || m_baData.IsEmpty())
        return false;
    // A record whose file would not fit a 32-bit size is no scanner image.
    if (m_baData.GetSize() > std::numeric_limits<uint32_t>::max() - kPixelOffset)
        return false;

    // Built before the file is opened, so that running out of memory leaves
    // no truncated file and no open handle behind.
    const CMyByteArray baFile = BuildBitmapFile(*this);
    const WString sPath = JoinPath(sFolder, sFileName);
    const HANDLE hFile = CreateFileW(sPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    // WriteFile keeps no buffer of its own: the close completes the file.
    DWORD nWritten = 0;
    WriteFile(hFile, baFile.GetData(), baFile.GetSize(), &nWritten, nullptr);
    CloseHandle(hFile);
    return true;
}
