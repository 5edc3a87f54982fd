#include "RegistryFailure.h"

#include "ToolText.h"

namespace vtool {
namespace {

// Windows keeps no text behind a registry code; our platform layer does.
std::u16string _Reason(LSTATUS nStatus)
{
#ifdef _WIN32
    (void)nStatus;
    return std::u16string();
#else
    switch (nStatus) {
    case ERROR_BADDB:
    case ERROR_CANTREAD:
    case ERROR_CANTWRITE:
    case ERROR_TIMEOUT: {
        const std::string sProblem = pal::RegistryProblem();
        return sProblem.empty() ? std::u16string() : u": " + FromUtf8(sProblem);
    }
    default:
        return std::u16string();
    }
#endif
}

}  // namespace

std::u16string RegistryFailure(LSTATUS nStatus)
{
    const std::u16string sCode = u"Win32 error " + Decimal(static_cast<uint32_t>(nStatus));
    switch (nStatus) {
    case ERROR_ACCESS_DENIED:
        return u"access is denied (" + sCode + u")";
    case ERROR_FILE_NOT_FOUND:
        return u"not found (" + sCode + u")";
    default:
        return sCode + _Reason(nStatus);
    }
}

}  // namespace vtool
