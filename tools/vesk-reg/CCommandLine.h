// The arguments of one run, checked against the options of its command.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "support/Win32.h"

namespace vreg {

enum class ECommand { Help, Query, Add, Delete, Import, Export };

struct CCommandLine {
    ECommand m_eCommand = ECommand::Help;
    std::vector<std::u16string> m_vPositional;   // KEY, FILE or KEY FILE
    std::optional<std::u16string> m_oValueName;  // /v NAME, or "" for /ve
    bool m_bAllValues = false;                   // /va
    std::optional<std::u16string> m_oType;       // /t
    std::optional<std::u16string> m_oData;       // /d
    std::optional<std::u16string> m_oSeparator;  // /s SEP of add
    bool m_bRecurse = false;                     // /s of query
    bool m_bForce = false;                       // /f, /y
    REGSAM m_nView = 0;                          // KEY_WOW64_32KEY, KEY_WOW64_64KEY or 0
};

// The view without /reg:32 or /reg:64: the system's own, as reg.exe has it.
REGSAM NativeView();

// Throws CToolError on an unknown command or option, a missing or surplus
// argument, or options that exclude each other.
CCommandLine ParseCommandLine(const std::vector<std::u16string>& args);

}  // namespace vreg
