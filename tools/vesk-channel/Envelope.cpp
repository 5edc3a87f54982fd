#include "Envelope.h"

#include <cstring>

#include "ExitCode.h"
#include "HexText.h"
#include "NamedFiles.h"
#include "ToolText.h"

namespace vchan {
namespace {

// Far above the largest message even as hex text (a 400000-byte image that
// does not compress), so only a file that cannot be one is turned away.
constexpr size_t kMaxInputBytes = 16u << 20;

}  // namespace

CMyByteArray ReadEnvelope(const std::u16string& sInput, bool bHex)
{
    std::string bytes = ReadNamed(sInput, kMaxInputBytes);
    if (bHex) {
        std::string decoded;
        std::string why;
        if (!FromHexText(bytes, decoded, why))
            Stop(kExitRefused,
                 InputName(sInput) + u" is not hex text: " + vtool::FromUtf8(why) + u".");
        bytes.swap(decoded);
    }
    CMyByteArray envelope(static_cast<uint32_t>(bytes.size()));
    if (!bytes.empty())
        std::memcpy(envelope.GetData(), bytes.data(), bytes.size());
    return envelope;
}

void WriteEnvelope(const std::u16string& sOutput, bool bHex, const CMyByteArray& envelope)
{
    const std::string bytes(reinterpret_cast<const char*>(envelope.GetData()),
                            envelope.GetSize());
    WriteNamed(sOutput, bHex ? ToHexText(bytes) : bytes);
}

}  // namespace vchan
