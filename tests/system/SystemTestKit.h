// Helpers shared by the system, modules and exception tests.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "common/TestMachine.h"
#include "pal/windows.h"

namespace systest {

// Through void(*)(), which -Wcast-function-type lets pass.
template <class F>
F FunctionCast(FARPROC address)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(address));
}

// Every setting starts at its default, whatever the environment of the run says.
class CMachineTest : public ::testing::Test {
protected:
    CMachineTest()
    {
        for (const char* name : {"VESK_WINVER", "VESK_ARCH", "VESK_SYSTEMX86_DIR", "VESK_DEBUG_OUTPUT",
                                 "VESK_DEBUGGER", "VESK_KERNEL32_MISSING", "VESK_RDP_SESSION"})
            pal::SetSetting(name, "");
    }

    testkit::CScratchMachine m_oMachine;
};

}  // namespace systest
