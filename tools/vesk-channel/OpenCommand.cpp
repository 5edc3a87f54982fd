// vesk-channel open: an envelope's checks, header and picture.
#include "ChannelImage.h"
#include "ChannelOptions.h"
#include "CommandNames.h"
#include "Commands.h"
#include "Console.h"
#include "Envelope.h"
#include "ExitCode.h"
#include "NamedFiles.h"
#include "ToolText.h"
#include "channel/C3DESEncode.h"
#include "channel/CVCData.h"
#include "support/LittleEndian.h"

namespace vchan {
namespace {

using vtool::Decimal;

std::u16string _Line(const char16_t* pszName, const std::u16string& sValue)
{
    return pszName + (u": " + sValue) + u'\n';
}

std::u16string _Bytes(uint64_t nCount) { return Decimal(nCount) + u" bytes"; }

// One "name: value" line a field; nPlain is the deciphered size.
std::u16string _Describe(const CMyByteArray& envelope, const CVCData& message, uint32_t nPlain)
{
    const uint8_t* pEnvelope = envelope.GetData();
    std::u16string sText = _Line(u"envelope", _Bytes(envelope.GetSize())) +
                           _Line(u"ciphertext", _Bytes(LoadLE32(pEnvelope))) +
                           _Line(u"seed", Decimal(LoadLE32(pEnvelope + 4))) +
                           _Line(u"command", DescribeCommand(message.GetCmd())) +
                           _Line(u"reserved", Decimal(message.GetReserved())) +
                           _Line(u"width", Decimal(message.GetWidth())) +
                           _Line(u"height", Decimal(message.GetHeight())) +
                           _Line(u"process id", Decimal(message.GetCallingProcessID()));
    const uint32_t nAfterHeader = nPlain - VC_HEADER_SIZE;
    if (message.GetCmd() == VC_IMAGE_EVENT)
        sText += _Line(u"image stream", _Bytes(nAfterHeader));
    else if (nAfterHeader != 0)
        sText += _Line(u"ignored", _Bytes(nAfterHeader));
    return sText;
}

void _SaveImage(const COpenSettings& settings, const CVCData& message)
{
    if (message.GetCmd() != VC_IMAGE_EVENT)
        Stop(kExitFailed, u"command " + Decimal(message.GetCmd()) +
                              u" carries no image; '" + settings.m_sImage + u"' is not written.");
    WriteNamed(settings.m_sImage, EncodeMessageImage(message, settings.m_eImageFile));
}

}  // namespace

int RunOpen(const std::vector<std::u16string>& args)
{
    const COpenSettings settings = ParseOpenOptions(args);
    const CMyByteArray envelope = ReadEnvelope(settings.m_sInput, settings.m_bHex);
    // Opened here rather than inside the message, which keeps the inflated
    // pixels but not the size of what followed its header.
    CMyByteArray plain;
    CVCData message;
    EChannelFault eFault = EChannelFault::None;
    if (!C3DESEncode::Deserialize(envelope, plain, &eFault) ||
        !message.DeserializePlaintext(plain, &eFault))
        Stop(kExitRefused,
             u"message refused: " + vtool::FromUtf8(DescribeChannelFault(eFault)) + u".");
    vtool::WriteOut(_Describe(envelope, message, plain.GetSize()));
    if (!settings.m_sImage.empty())
        _SaveImage(settings, message);
    return kExitDone;
}

}  // namespace vchan
