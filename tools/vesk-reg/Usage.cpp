#include "Commands.h"
#include "Platform.h"

namespace vreg {

void PrintUsage()
{
    WriteOut(
        u"vesk-reg: reads and writes the registry with the syntax of reg.exe.\n"
        u"\n"
        u"  vesk-reg query KEY [/v NAME | /ve] [/s] [/reg:32 | /reg:64]\n"
        u"  vesk-reg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/s SEPARATOR] [/f]\n"
        u"               [/reg:32 | /reg:64]\n"
        u"  vesk-reg delete KEY [/v NAME | /ve | /va] [/f] [/reg:32 | /reg:64]\n"
        u"  vesk-reg import FILE.reg [/reg:32 | /reg:64]\n"
        u"  vesk-reg export KEY FILE.reg [/y] [/reg:32 | /reg:64]\n"
        u"\n"
        u"KEY      ROOT[\\SubKey\\...]; ROOT is HKLM, HKCU, HKEY_LOCAL_MACHINE or\n"
        u"         HKEY_CURRENT_USER, in any case.\n"
        u"/v NAME  one value; /ve the default value; /va (delete) all values of the key.\n"
        u"/s       query: the key and every key below it; with /v, where NAME occurs.\n"
        u"/t TYPE  REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD,\n"
        u"         REG_QWORD, REG_BINARY or REG_NONE.\n"
        u"/d DATA  REG_DWORD, REG_QWORD: decimal or 0x hex. REG_BINARY, REG_NONE: hex\n"
        u"         digits, an even number of them. REG_MULTI_SZ: strings separated by\n"
        u"         \\0 or by the one character given with /s. Without /d: empty, or 0.\n"
        u"         With /t or /d but neither /v nor /ve, add sets the default value.\n"
        u"/reg:32  the 32-bit view of the registry; /reg:64 the 64-bit view. Without\n"
        u"         either: the system's own view (64-bit on a 64-bit system), the one\n"
        u"         reg.exe in a 64-bit prompt uses and the library reads.\n"
        u"\n"
        u"vesk-reg never asks for confirmation: add overwrites, delete deletes and\n"
        u"export replaces an existing file as if confirmed. /f and /y are accepted\n"
        u"for compatibility with reg.exe scripts.\n"
        u"\n"
        u"export writes UTF-16LE with a byte-order mark, the key and every key below\n"
        u"it. import reads UTF-16LE or UTF-8 and applies keys, values, [-KEY] and\n"
        u"\"NAME\"=- deletions.\n"
        u"\n"
        u"Exit status 0 on success; otherwise 1, with one line on standard error.\n");
}

}  // namespace vreg
