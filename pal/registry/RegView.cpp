#include "pal/registry/RegView.h"

#include "pal/registry/RegName.h"
#include "pal/registry/registry.h"
#include "pal/system/machine.h"
#include "pal/system/system.h"

namespace pal::registry {

namespace {

// Asked the way a program would, so that both families agree on VESK_WINVER.
bool IsWindows2000OrOlder()
{
    const DWORD lastError = GetLastError();
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    const bool known = GetVersionExW(&info) != FALSE;
    SetLastError(lastError);
    return known &&
           (info.dwMajorVersion < 5 || (info.dwMajorVersion == 5 && info.dwMinorVersion == 0));
}

}  // namespace

LSTATUS CheckViewFlags(REGSAM desired)
{
    const REGSAM flags = desired & KEY_WOW64_RES;
    if (flags == KEY_WOW64_RES || (flags != 0 && IsWindows2000OrOlder()))
        return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

bool UsesRedirectedView(REGSAM desired)
{
    return pal::IsSimulated64Bit() && !(desired & KEY_WOW64_64KEY);
}

void RedirectPath(HiveId hive, std::vector<std::u16string>& path, bool redirected)
{
    if (!redirected || hive != HiveId::LocalMachine || path.empty() ||
        !SameName(path[0], u"SOFTWARE"))
        return;
    if (path.size() > 1 && SameName(path[1], u"Wow6432Node"))
        return;
    path.insert(path.begin() + 1, u"Wow6432Node");
}

}  // namespace pal::registry
