// vesk-admin logging: the library's diagnostics log in words.
#include <string>
#include <vector>

#include "COptions.h"
#include "CToolError.h"
#include "Commands.h"
#include "DiagnosticsRecord.h"
#include "DiagnosticsStore.h"
#include "LogLevel.h"
#include "Platform.h"
#include "Text.h"

namespace vadmin {
namespace {

const char16_t* const kLevel = u"--level";
const char16_t* const kFolder = u"--folder";
const char16_t* const kOff = u"--off";

std::u16string _Folder(const WString& sFolder)
{
    return sFolder.empty() ? u"(empty)" : FromWide(sFolder);
}

std::u16string _DescribeLog(const CDiagnosticsSettings& settings)
{
    if (!settings.m_bLogOn)
        return u"off";
    std::u16string sLevel = u"level " + Decimal(settings.m_nLogLevel);
    if (const char16_t* pszName = LevelName(settings.m_nLogLevel))
        sLevel += u" (" + std::u16string(pszName) + u")";
    return u"on, " + sLevel + u", folder " + _Folder(settings.m_sLogFolder);
}

std::u16string _DescribeAux(const CDiagnosticsSettings& settings)
{
    if (!settings.m_bAuxOn)
        return u"off";
    return u"on, mode " + Decimal(settings.m_nAuxMode) + u", folder " +
           _Folder(settings.m_sAuxFolder);
}

uint32_t _Level(const std::u16string& sText)
{
    uint32_t nLevel = 0;
    if (!ParseLevel(sText, nLevel))
        Fail(u"unknown level '" + sText + u"' (error, warning, info, debug or 1-4).");
    return nLevel;
}

// Stricter than the library, which accepts any existing path: a log file
// cannot be created inside a file.
WString _ExistingFolder(const std::u16string& sText)
{
    if (sText.empty())
        Fail(u"the folder must not be empty.");
    const WString sFolder = ToWide(sText);
    const DWORD nAttributes = GetFileAttributesW(sFolder.c_str());
    if (nAttributes == INVALID_FILE_ATTRIBUTES)
        Fail(u"the folder '" + sText + u"' does not exist.");
    if ((nAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        Fail(u"'" + sText + u"' is a file, not a folder.");
    return sFolder;
}

int _Store(const CDiagnosticsSettings& settings)
{
    WriteStoredValue(EncodeRecord(settings));
    WriteOut(u"logging set to " + _DescribeLog(settings) +
             u"; the library reads it when it is next loaded into a process.\n");
    return 0;
}

// The library logs nothing in this state; the line says why.
int _Refused(const char16_t* pszState, const std::u16string& sReason)
{
    WriteOut(u"logging: " + std::u16string(pszState) + u", so the library logs nothing: " +
             sReason + u".\n");
    return 1;
}

int _Show()
{
    const CStoredValue stored = ReadStoredValue();
    if (stored.m_eState == EStoredState::NoKey)
        return _Refused(u"not configured", u"there is no key " + StoredKeyPath());
    if (stored.m_eState == EStoredState::NoValue)
        return _Refused(u"not configured", u"there is no value " + StoredValuePath());
    if (stored.m_nType != REG_BINARY)
        return _Refused(u"invalid", u"the value has type " + TypeName(stored.m_nType) +
                                        u", not REG_BINARY");
    CDiagnosticsSettings settings;
    std::u16string sProblem;
    if (!DecodeRecord(stored.m_data, settings, sProblem))
        return _Refused(u"invalid", sProblem);
    const std::vector<std::u16string> broken = BrokenRules(settings);
    if (broken.empty()) {
        WriteOut(u"logging: " + _DescribeLog(settings) + u"\nauxiliary: " +
                 _DescribeAux(settings) + u'\n');
        return 0;
    }
    std::u16string sReasons;
    for (const std::u16string& sRule : broken)
        sReasons += (sReasons.empty() ? u"" : u"; ") + sRule;
    _Refused(u"invalid", sReasons);
    WriteOut(u"stored logging: " + _DescribeLog(settings) + u"\nstored auxiliary: " +
             _DescribeAux(settings) + u'\n');
    return 1;
}

int _Run(const std::vector<std::u16string>& args)
{
    const vtool::COptions options(args, {{kLevel, true}, {kFolder, true}, {kOff, false}},
                                  u"logging");
    options.RejectPlain();
    const bool bLevel = options.Has(kLevel);
    const bool bFolder = options.Has(kFolder);
    if (options.Has(kOff)) {
        if (bLevel || bFolder)
            Fail(u"--off excludes --level and --folder.");
        return _Store(CDiagnosticsSettings());
    }
    if (!bLevel && !bFolder)
        return _Show();
    if (!bFolder)
        Fail(u"--level needs --folder DIR.");
    if (!bLevel)
        Fail(u"--folder needs --level LEVEL.");
    CDiagnosticsSettings settings;
    settings.m_bLogOn = true;
    settings.m_nLogLevel = _Level(options.Value(kLevel));
    settings.m_sLogFolder = _ExistingFolder(options.Value(kFolder));
    return _Store(settings);
}

}  // namespace

const CCommand kLoggingCommand = {
    u"logging",
    u"show the library's diagnostics logging, or set it on at a level or off",
    u"vesk-admin logging: the library's diagnostics log, kept in the value\n"
    u"HKEY_LOCAL_MACHINE\\SOFTWARE\\vesk\\Diagnostics\\Configuration (64-bit view).\n"
    u"\n"
    u"  vesk-admin logging                          show the stored settings\n"
    u"  vesk-admin logging --level LEVEL --folder DIR\n"
    u"                                              log at LEVEL into DIR\n"
    u"  vesk-admin logging --off                    log nothing\n"
    u"\n"
    u"LEVEL  error, warning, info or debug, or 1-4 in that order; each level also\n"
    u"       writes the lines of the levels before it.\n"
    u"DIR    an existing folder, stored as given; each process logs into a file\n"
    u"       named after its program there. Give a full path: every logging\n"
    u"       process resolves a relative one from its own working folder.\n"
    u"\n"
    u"Setting either way also switches the auxiliary facility off. The library\n"
    u"reads the settings once, when it is loaded into a process.\n"
    u"\n"
    u"Exit status: 0 when the settings were written, or when the stored ones are\n"
    u"valid (logging on or off). 1 when they are missing or invalid: the first\n"
    u"line then says which field breaks which rule. 1 also for bad arguments and\n"
    u"registry failures, with one line on standard error.\n",
    _Run,
};

}  // namespace vadmin
