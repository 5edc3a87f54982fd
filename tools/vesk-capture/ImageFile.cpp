#include "ImageFile.h"

#include <algorithm>
#include <system_error>

#include "ToolText.h"

namespace vcap {
namespace {

const std::u16string kPrefix = u"image-";
constexpr size_t kMaxDigits = 9;

// The name as text when it is ASCII; other names are none of ours.
std::u16string _AsciiName(const std::filesystem::path& path)
{
    const std::filesystem::path name = path.filename();
    std::u16string sName;
    for (const auto c : name.native()) {
        if (static_cast<unsigned long>(c) > 127)
            return {};
        sName += static_cast<char16_t>(c);
    }
    return sName;
}

// The number of "image-NNN.bmp" or "image-NNN.pgm" (any case), else 0.
uint32_t _NumberOf(const std::u16string& sName)
{
    const size_t nDigits = sName.size() - std::min(sName.size(), kPrefix.size() + 4);
    if (nDigits == 0 || nDigits > kMaxDigits || sName.compare(0, kPrefix.size(), kPrefix) != 0)
        return 0;
    const std::u16string sExtension = sName.substr(sName.size() - 4);
    if (!vtool::EqualsNoCase(sExtension, u".bmp") && !vtool::EqualsNoCase(sExtension, u".pgm"))
        return 0;
    uint32_t nNumber = 0;
    for (const char16_t c : sName.substr(kPrefix.size(), nDigits)) {
        if (c < u'0' || c > u'9')
            return 0;
        nNumber = nNumber * 10 + static_cast<uint32_t>(c - u'0');
    }
    return nNumber;
}

}  // namespace

std::u16string ImageFileName(uint32_t nNumber, EImageFormat eFormat)
{
    std::u16string sNumber = vtool::Decimal(nNumber);
    if (sNumber.size() < 3)
        sNumber.insert(0, 3 - sNumber.size(), u'0');
    return kPrefix + sNumber + (eFormat == EImageFormat::Bmp ? u".bmp" : u".pgm");
}

uint32_t NextImageNumber(const std::filesystem::path& folder)
{
    uint32_t nHighest = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error))
        nHighest = std::max(nHighest, _NumberOf(_AsciiName(it->path())));
    return nHighest + 1;
}

vtool::CWriteResult WriteImageFile(const std::filesystem::path& path, const CImage& image,
                                   EImageFormat eFormat)
{
    return vtool::WriteFileSafely(path,
                                  eFormat == EImageFormat::Bmp
                                      ? vtool::EncodeBmp(image)
                                      : vtool::EncodePgm(image, vtool::EFirstRow::Bottom),
                                  vtool::EExisting::Keep);
}

}  // namespace vcap
