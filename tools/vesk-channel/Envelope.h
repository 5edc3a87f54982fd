// Envelopes in their files: binary as on the channel, or hex text.
#pragma once
#include <string>

#include "support/CMyByteArray.h"

namespace vchan {

// Text that is not hex stops the tool as a refused message.
CMyByteArray ReadEnvelope(const std::u16string& sInput, bool bHex);
void WriteEnvelope(const std::u16string& sOutput, bool bHex, const CMyByteArray& envelope);

}  // namespace vchan
