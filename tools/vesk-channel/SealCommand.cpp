// vesk-channel seal: a message of one's choosing in its envelope.
#include <algorithm>

#include "ChannelImage.h"
#include "ChannelOptions.h"
#include "Commands.h"
#include "Envelope.h"
#include "ExitCode.h"
#include "channel/CVCData.h"

namespace vchan {
namespace {

// The peers give the image stream twice the pixels' room, which a picture
// of a few pixels may exceed.
void _CheckCompresses(const CMyByteArray& pixels, const std::u16string& sPath)
{
    CMyByteArray stream;
    if (!CVCData::Compress(pixels, stream))
        Stop(kExitFailed, u"'" + sPath + u"' does not compress into twice the size of its "
                          u"pixels, the room a channel message gives it.");
}

CVCData _Message(const CSealSettings& settings)
{
    CVCData message;
    message.SetCmd(settings.m_nCmd);
    message.SetCallingProcessID(settings.m_nPid);
    if (!settings.m_sImage.empty()) {
        const vtool::CImage image = ReadMessageImage(settings.m_sImage);
        CMyByteArray pixels(static_cast<uint32_t>(image.m_vPixels.size()));
        std::copy(image.m_vPixels.begin(), image.m_vPixels.end(), pixels.GetData());
        _CheckCompresses(pixels, settings.m_sImage);
        message.SetImage(pixels, image.m_nWidth, image.m_nHeight);
    }
    return message;
}

}  // namespace

int RunSeal(const std::vector<std::u16string>& args)
{
    const CSealSettings settings = ParseSealOptions(args);
    const CVCData message = _Message(settings);
    CMyByteArray envelope;
    const bool bSealed = settings.m_bFixedSeed
                             ? message.SerializeWithSeed(envelope, settings.m_nSeed)
                             : message.Serialize(envelope);
    if (!bSealed)
        Stop(kExitFailed, u"the message cannot be sealed (the cipher failed).");
    WriteEnvelope(settings.m_sOutput, settings.m_bHex, envelope);
    return kExitDone;
}

}  // namespace vchan
