// One simulated scanner family as vesk-admin sim drives it: where its
// settings live, the names of the values every family has, and the verbs
// only it has. SimCommand.cpp runs the shared verbs on this description.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "CSettingsKey.h"
#include "sim/common/CScript.h"
#include "support/Win32.h"

namespace vadmin {

using Args = std::vector<std::u16string>;
struct CSimFamily;

// Every family's "the finger never arrives" value.
constexpr uint32_t kSimFingerNever = 0xFFFFFFFF;

struct CSimAction {
    const char16_t* m_pszName;
    int (*m_pfnRun)(const CSimFamily& family, const Args& args);
};

struct CSimFamily {
    // The value that attach and detach write.
    struct CAttach {
        const WCHAR* m_pszValue;
        uint32_t m_nOn;
        uint32_t m_nOff;
    };

    const char16_t* m_pszName;  // on the command line and in messages
    const WCHAR* m_pszKey;      // below HKLM\SOFTWARE\vesk\Simulator
    CAttach m_attach;
    const WCHAR* m_pszSeed;
    const WCHAR* m_pszImageFile;
    const WCHAR* m_pszFingerDelay;
    const WCHAR* m_pszScript;
    uint32_t m_nDefaultSeed;
    uint32_t m_nDefaultDelay;
    const char16_t* m_pszDelayFrom;  // what the finger delay counts from
    std::vector<const WCHAR*> m_vAllValues;  // what reset removes
    std::u16string m_sDefaults;  // the defaults reset brings back, beyond images, finger and script
    bool (*m_pfnParseEntry)(const std::string& sText, vsim::CScriptEntry& entry, std::string& why);
    std::string (*m_pfnFormatEntry)(const vsim::CScriptEntry& entry);
    // How a picture file of this size is served.
    std::u16string (*m_pfnImageFit)(uint32_t nWidth, uint32_t nHeight);
    // The lines of show after the heading; notes on ignored values go to sNote.
    std::u16string (*m_pfnShow)(const CSimFamily& family, std::u16string& sNote);
    std::vector<CSimAction> m_vExtraActions;

    CSettingsKey Key() const;
    // "<name> simulator: <what>" on standard output.
    void Say(const std::u16string& sWhat) const;
    // "N ms after <m_pszDelayFrom>", or "never".
    std::u16string Delay(uint32_t nDelay) const;
};

// Argument checks shared by the verbs; each fails with the tool's error line.
const std::u16string& One(const Args& args, const char16_t* pszWhat);
void NoArguments(const Args& args);
// 0-4294967295, decimal or 0x hexadecimal.
uint32_t Number(const std::u16string& sText, const char16_t* pszWhat);
// "0x" and 8 upper-case hexadecimal digits.
std::u16string HexWord(uint32_t nValue);

// A stored number, or the default with a note when the stored value is not one.
uint32_t ShownDword(const CSimFamily& family, const WString& sName, uint32_t nDefault,
                    std::u16string& sNote);
// The "images:", "finger:" and "script:" lines of show.
std::u16string ShownImages(const CSimFamily& family, std::u16string& sNote);
std::u16string ShownFinger(const CSimFamily& family, std::u16string& sNote);
std::u16string ShownScript(const CSimFamily& family);

// The UPEK family's own part (UpekSimActions.cpp).
std::u16string UpekShow(const CSimFamily& family, std::u16string& sNote);
std::vector<CSimAction> UpekActions();

// The AuthenTec service client's own part (AuthentecSimActions.cpp).
std::u16string AuthentecShow(const CSimFamily& family, std::u16string& sNote);
std::vector<CSimAction> AuthentecActions();
std::vector<const WCHAR*> AuthentecValues();  // every value reset removes

}  // namespace vadmin
