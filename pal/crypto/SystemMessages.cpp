#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>

#include "pal/base/settings.h"
#include "pal/crypto/crypto.h"

namespace {

struct SMessage {
    DWORD nCode;
    const char16_t* pszText;
};

// The Windows system table's texts for the codes pal/ sets.
constexpr SMessage kMessages[] = {
    {ERROR_SUCCESS, u"The operation completed successfully."},
    {ERROR_INVALID_HANDLE, u"The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY,
     u"Not enough memory resources are available to process this command."},
    {ERROR_INVALID_PARAMETER, u"The parameter is incorrect."},
    {ERROR_MORE_DATA, u"More data is available."},
    {static_cast<DWORD>(NTE_BAD_UID), u"Bad UID."},
    {static_cast<DWORD>(NTE_BAD_HASH), u"Bad Hash."},
    {static_cast<DWORD>(NTE_BAD_KEY), u"Bad Key."},
    {static_cast<DWORD>(NTE_BAD_LEN), u"Bad Length."},
    {static_cast<DWORD>(NTE_BAD_DATA), u"Bad Data."},
    {static_cast<DWORD>(NTE_BAD_ALGID), u"Invalid algorithm specified."},
    {static_cast<DWORD>(NTE_BAD_FLAGS), u"Invalid flags specified."},
    {static_cast<DWORD>(NTE_BAD_TYPE), u"Invalid type specified."},
    {static_cast<DWORD>(NTE_BAD_KEY_STATE), u"Key not valid for use in specified state."},
    {static_cast<DWORD>(NTE_BAD_HASH_STATE), u"Hash not valid for use in specified state."},
    {static_cast<DWORD>(NTE_NO_MEMORY), u"Insufficient memory available for the operation."},
    {static_cast<DWORD>(NTE_BAD_PROV_TYPE), u"Invalid provider type specified."},
    {static_cast<DWORD>(NTE_PROV_TYPE_NOT_DEF), u"Provider type not defined."},
    {static_cast<DWORD>(NTE_BAD_KEYSET), u"Keyset does not exist"},
    {static_cast<DWORD>(NTE_FAIL), u"An internal error occurred."},
};

DWORD Fail(DWORD nError)
{
    SetLastError(nError);
    return 0;
}

constexpr WORD kUserDefault = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
constexpr WORD kUserLanguageFallback = 0x0409;

// The language the request resolves to; 0 searches every language.
WORD Resolve(DWORD nLanguage)
{
    if (nLanguage != kUserDefault)
        return static_cast<WORD>(nLanguage);
    const std::string sUser = pal::GetSetting("VESK_USER_LANG");
    const unsigned long nUser = sUser.empty() ? kUserLanguageFallback : std::strtoul(sUser.c_str(), nullptr, 16);
    return static_cast<WORD>(nUser);
}

// The system's own, and the only one its messages are installed in.
bool HasMessagesIn(WORD nLanguage)
{
    return nLanguage == 0 || PRIMARYLANGID(nLanguage) == LANG_ENGLISH ||
           nLanguage == MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT);
}

} // namespace

DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD dwLanguageId,
                            LPWSTR lpBuffer, DWORD nSize, va_list*)
{
    const DWORD nSupported =
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
    if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || (dwFlags & ~nSupported) || !lpBuffer)
        return Fail(ERROR_INVALID_PARAMETER);
    const auto it = std::find_if(std::begin(kMessages), std::end(kMessages),
                                 [&](const SMessage& m) { return m.nCode == dwMessageId; });
    if (it == std::end(kMessages))
        return Fail(ERROR_MR_MID_NOT_FOUND);
    if (!HasMessagesIn(Resolve(dwLanguageId)))
        return Fail(ERROR_RESOURCE_LANG_NOT_FOUND);
    std::u16string sText = it->pszText;
    // Without a width limit Windows keeps the message's own line end.
    if (!(dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK))
        sText += u"\r\n";
    if (sText.size() + 1 > nSize)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::copy(sText.begin(), sText.end(), lpBuffer);
    lpBuffer[sText.size()] = u'\0';
    return static_cast<DWORD>(sText.size());
}
