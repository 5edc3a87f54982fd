// GetSystemDefaultLangID from the locale, as a Windows installation's
// language would be set.
#include <cstdlib>
#include <string>

#include "pal/base/settings.h"
#include "pal/shell/shell.h"

namespace {

struct SLanguage {
    const char* m_pszPrefix;  // ISO 639-1, as locales begin
    WORD m_nPrimary;
};

// The languages whose texts differ somewhere in our products; any other
// primary language counts as English.
const SLanguage kLanguages[] = {{"de", LANG_GERMAN}, {"en", LANG_ENGLISH}};

LANGID FromLocale(const std::string& locale)
{
    for (const SLanguage& language : kLanguages) {
        if (locale.compare(0, 2, language.m_pszPrefix) == 0 &&
            (locale.size() == 2 || locale[2] == '_' || locale[2] == '.' || locale[2] == '-'))
            return MAKELANGID(language.m_nPrimary, SUBLANG_DEFAULT);
    }
    return MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT);
}

}  // namespace

LANGID WINAPI GetSystemDefaultLangID()
{
    const std::string chosen = pal::GetSetting("VESK_LANG");
    if (!chosen.empty()) {
        char* end = nullptr;
        const unsigned long id = std::strtoul(chosen.c_str(), &end, 0);
        if (*end == '\0' && id > 0 && id <= 0xFFFF)
            return static_cast<LANGID>(id);
        return FromLocale(chosen);
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return FromLocale(value);
    }
    return MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT);
}
