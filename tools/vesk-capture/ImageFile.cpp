#include "ImageFile.h"

#include "Files.h"
#include "ToolText.h"

namespace vcap {

std::u16string ImageFileName(uint32_t nNumber, EImageFormat eFormat)
{
    std::u16string sNumber = vtool::Decimal(nNumber);
    if (sNumber.size() < 3)
        sNumber.insert(0, 3 - sNumber.size(), u'0');
    return u"image-" + sNumber + (eFormat == EImageFormat::Bmp ? u".bmp" : u".pgm");
}

bool WriteImageFile(const std::filesystem::path& path, const CImage& image, EImageFormat eFormat)
{
    return vtool::WriteWholeFile(path, eFormat == EImageFormat::Bmp
                                           ? vtool::EncodeBmp(image)
                                           : vtool::EncodePgm(image, vtool::EFirstRow::Bottom));
}

}  // namespace vcap
