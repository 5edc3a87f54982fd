#include "ChannelImage.h"

#include <algorithm>

#include "ExitCode.h"
#include "NamedFiles.h"
#include "ToolText.h"
#include "sim/common/GreyImageReader.h"

namespace vchan {
namespace {

bool _IsBmp(const std::string& bytes) { return bytes.compare(0, 2, "BM") == 0; }

// A picture read top row first; a bitmap's first message row is its bottom.
vtool::CImage _InMessageOrder(const vsim::CGreyImage& picture, bool bBottomFirst)
{
    vtool::CImage image;
    image.m_nWidth = picture.GetWidth();
    image.m_nHeight = picture.GetHeight();
    image.m_vPixels = picture.GetPixels();
    if (bBottomFirst) {
        for (uint32_t nTop = 0, nBottom = image.m_nHeight - 1; nTop < nBottom; ++nTop, --nBottom)
            std::swap_ranges(image.m_vPixels.begin() + size_t(nTop) * image.m_nWidth,
                             image.m_vPixels.begin() + size_t(nTop + 1) * image.m_nWidth,
                             image.m_vPixels.begin() + size_t(nBottom) * image.m_nWidth);
    }
    return image;
}

}  // namespace

std::string EncodeMessageImage(const CVCData& message, EImageFile eFile)
{
    vtool::CImage image;
    image.m_nWidth = message.GetWidth();
    image.m_nHeight = message.GetHeight();
    const CMyByteArray& pixels = message.GetData();
    image.m_vPixels.assign(pixels.GetData(), pixels.GetData() + pixels.GetSize());
    return eFile == EImageFile::Bmp ? vtool::EncodeBmp(image)
                                    : vtool::EncodePgm(image, vtool::EFirstRow::Top);
}

vtool::CImage ReadMessageImage(const std::u16string& sPath)
{
    const std::string bytes = ReadNamed(sPath, vsim::kMaxImageFileBytes);
    vsim::CGreyImage picture;
    std::string why;
    if (!vsim::ReadGreyImage(bytes, picture, why))
        Stop(kExitFailed, u"'" + sPath + u"' is not a usable picture: " + vtool::FromUtf8(why) +
                              u".");
    const uint64_t nPixels = uint64_t{picture.GetWidth()} * picture.GetHeight();
    if (nPixels > CVCData::kMaxImageBytes)
        Stop(kExitFailed, u"'" + sPath + u"' has " + vtool::Decimal(nPixels) +
                              u" pixels; a channel message carries at most " +
                              vtool::Decimal(CVCData::kMaxImageBytes) + u".");
    return _InMessageOrder(picture, _IsBmp(bytes));
}

}  // namespace vchan
