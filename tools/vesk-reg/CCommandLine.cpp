#include "CCommandLine.h"

#include <map>

#include "CToolError.h"
#include "support/CWinOS.h"
#include "Text.h"

namespace vreg {
namespace {

struct COptionSpec {
    const char16_t* m_pszName;  // upper case, without the leading '/' or '-'
    ECommand m_eCommand;
    bool m_bTakesValue;
};

// /s is a flag for query and the separator of add, as in reg.exe.
const COptionSpec kOptions[] = {
    {u"V", ECommand::Query, true},      {u"VE", ECommand::Query, false},
    {u"S", ECommand::Query, false},     {u"V", ECommand::Add, true},
    {u"VE", ECommand::Add, false},      {u"T", ECommand::Add, true},
    {u"D", ECommand::Add, true},        {u"S", ECommand::Add, true},
    {u"F", ECommand::Add, false},       {u"V", ECommand::Delete, true},
    {u"VE", ECommand::Delete, false},   {u"VA", ECommand::Delete, false},
    {u"F", ECommand::Delete, false},    {u"Y", ECommand::Export, false},
};

const struct {
    const char16_t* m_pszName;
    ECommand m_eCommand;
} kCommands[] = {
    {u"QUERY", ECommand::Query},   {u"ADD", ECommand::Add},       {u"DELETE", ECommand::Delete},
    {u"IMPORT", ECommand::Import}, {u"EXPORT", ECommand::Export},
};

using COptionMap = std::map<std::u16string, std::u16string>;

// Paths may begin with '/' on POSIX; an option is one short word.
bool _IsOption(const std::u16string& sToken)
{
    if (sToken.size() < 2 || (sToken[0] != u'/' && sToken[0] != u'-'))
        return false;
    return sToken.find_first_of(u"/\\.", 1) == std::u16string::npos;
}

bool _NamesAFile(const std::u16string& sToken)
{
    return GetFileAttributesW(ToWide(sToken).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool _IsHelp(const std::u16string& sToken)
{
    const std::u16string sName = ToUpperAscii(sToken);
    return sName == u"/?" || sName == u"-?" || sName == u"-H" || sName == u"--HELP" ||
           sName == u"/HELP";
}

const COptionSpec* _FindOption(ECommand eCommand, const std::u16string& sName)
{
    for (const COptionSpec& spec : kOptions) {
        if (spec.m_eCommand == eCommand && sName == spec.m_pszName)
            return &spec;
    }
    return nullptr;
}

ECommand _ParseCommand(const std::u16string& sWord)
{
    for (const auto& command : kCommands) {
        if (EqualsNoCase(sWord, command.m_pszName))
            return command.m_eCommand;
    }
    Fail(u"unknown command '" + sWord + u"'; 'vesk-reg /?' shows the usage.");
}

// Sorts the tokens after the command into options (by upper-case name) and
// positional arguments.
void _Split(ECommand eCommand, const std::vector<std::u16string>& args, COptionMap& options,
            std::vector<std::u16string>& positional)
{
    for (size_t i = 1; i < args.size(); ++i) {
        if (!_IsOption(args[i])) {
            positional.push_back(args[i]);
            continue;
        }
        if (_IsHelp(args[i])) {
            options[u"?"];
            continue;
        }
        const std::u16string sName = ToUpperAscii(args[i].substr(1));
        const bool bView = sName == u"REG:32" || sName == u"REG:64";
        const COptionSpec* pSpec = bView ? nullptr : _FindOption(eCommand, sName);
        if (!bView && !pSpec && _NamesAFile(args[i])) {
            positional.push_back(args[i]);  // a POSIX path such as /tmp
            continue;
        }
        if (!bView && !pSpec)
            Fail(u"unknown option '" + args[i] + u"' for " + ToUpperAscii(args[0]) + u".");
        if (options.count(sName))
            Fail(u"option '" + args[i] + u"' is given twice.");
        std::u16string sValue;
        if (pSpec && pSpec->m_bTakesValue) {
            if (i + 1 >= args.size())
                Fail(u"option '" + args[i] + u"' needs a value.");
            sValue = args[++i];
        }
        options[sName] = sValue;
    }
}

void _CheckPositional(ECommand eCommand, const std::vector<std::u16string>& positional)
{
    const size_t nWanted = eCommand == ECommand::Export ? 2 : 1;
    if (positional.size() > nWanted)
        Fail(u"unexpected argument '" + positional[nWanted] + u"'.");
    if (positional.empty())
        Fail(eCommand == ECommand::Import ? u"missing file name." : u"missing key name.");
    if (positional.size() < nWanted)
        Fail(u"missing file name.");
}

std::optional<std::u16string> _Take(const COptionMap& options, const char16_t* pszName)
{
    const auto it = options.find(pszName);
    return it == options.end() ? std::nullopt : std::optional<std::u16string>(it->second);
}

void _Fill(ECommand eCommand, const COptionMap& options, CCommandLine& line)
{
    if (options.count(u"V") + options.count(u"VE") + options.count(u"VA") > 1)
        Fail(u"options /v, /ve and /va exclude each other.");
    if (options.count(u"REG:32") && options.count(u"REG:64"))
        Fail(u"options /reg:32 and /reg:64 exclude each other.");
    line.m_oValueName = options.count(u"VE") ? std::u16string() : _Take(options, u"V");
    line.m_bAllValues = options.count(u"VA") != 0;
    line.m_oType = _Take(options, u"T");
    line.m_oData = _Take(options, u"D");
    line.m_bRecurse = eCommand == ECommand::Query && options.count(u"S");
    if (eCommand == ECommand::Add)
        line.m_oSeparator = _Take(options, u"S");
    line.m_bForce = options.count(u"F") || options.count(u"Y");
    if (options.count(u"REG:32"))
        line.m_nView = KEY_WOW64_32KEY;
    else if (options.count(u"REG:64"))
        line.m_nView = KEY_WOW64_64KEY;
    else
        line.m_nView = NativeView();
}

}  // namespace

// This tool may run as a 32-bit process on a 64-bit system, where the
// registry would show it the 32-bit view. An administrator's reg.exe in a
// 64-bit prompt shows the 64-bit one, which the library reads too; Windows
// 2000 knows no views at all.
REGSAM NativeView() { return CWinOS::Is64BitSystem() ? KEY_WOW64_64KEY : 0; }

CCommandLine ParseCommandLine(const std::vector<std::u16string>& args)
{
    CCommandLine line;
    if (args.empty())
        Fail(u"missing command; 'vesk-reg /?' shows the usage.");
    if (_IsHelp(args[0]))
        return line;
    const ECommand eCommand = _ParseCommand(args[0]);
    COptionMap options;
    _Split(eCommand, args, options, line.m_vPositional);
    if (options.count(u"?"))
        return line;
    line.m_eCommand = eCommand;
    _CheckPositional(line.m_eCommand, line.m_vPositional);
    _Fill(line.m_eCommand, options, line);
    return line;
}

}  // namespace vreg
