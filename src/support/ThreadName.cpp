#include "support/CWinOS.h"
#include "support/CLibraryFunction.h"

namespace {

constexpr DWORD kThreadNameException = 0x406D1388;

typedef PVOID(WINAPI* AddHandlerFn)(ULONG, PVECTORED_EXCEPTION_HANDLER);
typedef ULONG(WINAPI* RemoveHandlerFn)(PVOID);

LONG WINAPI IgnoreThreadName(PEXCEPTION_POINTERS pInfo)
{
    return pInfo->ExceptionRecord->ExceptionCode == kThreadNameException
               ? EXCEPTION_CONTINUE_EXECUTION
               : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

// The notification is caught by a vectored handler around the raise, so it
// never escapes when no debugger takes it. Where vectored handlers do not
// exist (Windows 2000) nothing is raised at all.
void SetThreadName(DWORD nThreadId, const char* pszName)
{
    CLibraryFunction add(W("kernel32.dll"), "AddVectoredExceptionHandler");
    CLibraryFunction remove(W("kernel32.dll"), "RemoveVectoredExceptionHandler");
    const auto addHandler = add.As<AddHandlerFn>();
    const auto removeHandler = remove.As<RemoveHandlerFn>();
    if (!addHandler || !removeHandler)
        return;
    const PVOID pHandler = addHandler(1, IgnoreThreadName);
    if (!pHandler)
        return;
    // One value per word: on 32-bit this is exactly the record the debugger
    // reads (type, name, thread id, flags), and on 64-bit it reads the same.
    const ULONG_PTR nArguments[4] = {0x1000, reinterpret_cast<ULONG_PTR>(pszName), nThreadId, 0};
    RaiseException(kThreadNameException, 0, 4, nArguments);
    removeHandler(pHandler);
}
