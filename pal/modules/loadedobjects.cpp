#include "pal/modules/loadedobjects.h"

#include <dlfcn.h>
#include <sys/auxv.h>

#include <filesystem>
#include <system_error>

namespace pal {

void* ObjectBaseOf(const void* address)
{
    Dl_info info{};
    return address && dladdr(address, &info) ? info.dli_fbase : nullptr;
}

// The program headers lie inside the main program's first mapping.
bool IsMainProgram(const void* base)
{
    return base && base == ObjectBaseOf(reinterpret_cast<const void*>(getauxval(AT_PHDR)));
}

std::string MainProgramPath()
{
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).string();
}

std::string ObjectPath(const void* base)
{
    Dl_info info{};
    if (!base || !dladdr(base, &info) || info.dli_fbase != base)
        return std::string();
    // The loader names the main program after argv[0]; the kernel knows better.
    if (IsMainProgram(base))
        return MainProgramPath();
    return info.dli_fname ? info.dli_fname : std::string();
}

}  // namespace pal
