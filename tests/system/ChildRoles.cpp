// Roles this program plays as a child of its own tests, chosen before main
// so that gtest never starts in the child.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "SystemTestKit.h"

namespace {

// Prints what the call answered, or "error N".
int Play(const std::string& role, const std::string& argument)
{
    WCHAR text[MAX_PATH] = {};
    bool ok = false;
    if (role == "basename") {
        ok = GetModuleBaseNameW(GetCurrentProcess(), nullptr, text, MAX_PATH) != 0;
    } else if (role == "loadlibrary") {
        const HMODULE module = LoadLibraryW(pal::FromUtf8(argument).c_str());
        ok = module && GetModuleFileNameW(module, text, MAX_PATH) != 0;
    }
    if (ok)
        std::printf("%s", pal::ToUtf8(text).c_str());
    else
        std::printf("error %u", static_cast<unsigned>(GetLastError()));
    return ok ? 0 : 1;
}

bool PlayRoleIfAsked()
{
    const char* role = std::getenv(systest::kRoleVariable);
    if (!role)
        return false;
    const char* argument = std::getenv(systest::kRoleArgument);
    const int status = Play(role, argument ? argument : "");
    std::fflush(stdout);
    _exit(status);
}

[[maybe_unused]] const bool g_bChild = PlayRoleIfAsked();

}  // namespace
