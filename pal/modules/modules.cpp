#include "pal/modules/modules.h"

#include <dlfcn.h>
#include <sys/auxv.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>

#include "pal/base/lasting.h"
#include "pal/modules/kernel32.h"
#include "pal/modules/libraryname.h"
#include "pal/modules/loadedobjects.h"
#include "pal/modules/CModuleTable.h"
#include "pal/system/debugoutput.h"
#include "pal/system/system.h"
#include "pal/text/text.h"
#include "pal/threads/threads.h"

// glibc's registration behind C++ thread_local destructors.
extern "C" int __cxa_thread_atexit_impl(void (*destructor)(void*), void* object, void* dsoSymbol);

namespace {

std::string FolderOf(const std::string& path)
{
    return path.empty() ? path : std::filesystem::path(path).parent_path().string();
}

bool IsKernel32(const pal::SLibraryName& name)
{
    return name.directory.empty() && pal::EqualsIgnoringCase(name.windowsName, "kernel32.dll");
}

// Keeps the module mapped until the calling thread has ended for good.
// pal/ is linked into each module, so the code that frees a module may lie
// in it and must outlive the unload: a thread-exit destructor registered
// against the module makes the loader keep it, and unmap it at its next
// unload pass once the thread is gone. The destructor itself lies outside the
// module: free(nullptr) does nothing.
bool PinUntilThreadExit(HMODULE module)
{
    return module && module != pal::Kernel32Module() &&
           __cxa_thread_atexit_impl(&free, nullptr, module) == 0;
}

// Ordinals (a pointer whose high word is zero) mean nothing to an ELF object.
bool IsOrdinal(LPCSTR procName) { return reinterpret_cast<uintptr_t>(procName) <= 0xFFFF; }

std::string ModulePath(HMODULE module)
{
    if (!module)
        return pal::MainProgramPath();
    if (module == pal::Kernel32Module())
        return pal::Kernel32Path();
    return pal::ObjectPath(module);
}

void* Symbol(HMODULE module, const char* name)
{
    if (!module || pal::IsMainProgram(module))
        return dlsym(RTLD_DEFAULT, name);
    if (void* const library = pal::CModuleTable::Instance().Find(module))
        return dlsym(library, name);
    // Loaded some other way: borrow a reference for the look-up.
    void* const library = dlopen(pal::ObjectPath(module).c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!library)
        return nullptr;
    void* const symbol = dlsym(library, name);
    dlclose(library);
    return symbol;
}

// The loaded libraries that pass their last-error codes on to this module
// (lasterror.h). Released when this module is unloaded: each library still
// loaded then lets go of this module's SetLastError before it is unmapped.
struct SLastErrorSharing {
    typedef void (*AdoptFn)(PFN_VESK_SET_LAST_ERROR, BOOL);
    std::mutex lock;
    std::map<HMODULE, AdoptFn> libraries;

    SLastErrorSharing() = default;
    SLastErrorSharing(const SLastErrorSharing&) = delete;
    SLastErrorSharing& operator=(const SLastErrorSharing&) = delete;
    ~SLastErrorSharing()
    {
        for (const auto& library : libraries)
            library.second(&SetLastError, FALSE);
    }
};

SLastErrorSharing& LastErrorSharing() { return pal::CLasting<SLastErrorSharing>::Get(); }

// Counts one more load and, when the library has the hook in itself (not in
// a library it depends on), hands it this module's SetLastError. One lock
// over both, so that a FreeLibrary on another thread cannot take the hook
// back between the two.
HMODULE AddLoadedLibrary(void* library)
{
    SLastErrorSharing& sharing = LastErrorSharing();
    std::lock_guard<std::mutex> guard(sharing.lock);
    const HMODULE module = pal::CModuleTable::Instance().Add(library);
    void* const hook = module ? dlsym(library, VESK_PAL_ADOPT_LAST_ERROR) : nullptr;
    if (hook && pal::ObjectBaseOf(hook) == module) {
        const auto adopt = reinterpret_cast<SLastErrorSharing::AdoptFn>(hook);
        adopt(&SetLastError, TRUE);
        sharing.libraries[module] = adopt;
    }
    return module;
}

// Counts one load less; when that was this module's last reference, takes
// the hook back while the library is still mapped. Answers the handle to
// close, or null for a module this one never loaded.
void* ReleaseLoadedLibrary(HMODULE module)
{
    SLastErrorSharing& sharing = LastErrorSharing();
    std::lock_guard<std::mutex> guard(sharing.lock);
    pal::CModuleTable& table = pal::CModuleTable::Instance();
    void* const library = table.Release(module);
    const auto it = sharing.libraries.find(module);
    if (library && it != sharing.libraries.end() && !table.Find(module)) {
        it->second(&SetLastError, FALSE);
        sharing.libraries.erase(it);
    }
    return library;
}

}  // namespace

namespace pal {

HMODULE ModuleOfAddress(const void* address) { return static_cast<HMODULE>(ObjectBaseOf(address)); }

}  // namespace pal

// Not inlined: the caller's return address names the module to search beside.
__attribute__((noinline)) HMODULE WINAPI LoadLibraryW(LPCWSTR fileName)
{
    const void* const caller = __builtin_return_address(0);
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const pal::SLibraryName name = pal::ParseLibraryName(pal::ToPosixPath(fileName));
    if (IsKernel32(name))
        return pal::Kernel32Module();
    const std::string file =
        pal::LocateLibrary(name, FolderOf(pal::ObjectPath(pal::ObjectBaseOf(caller))));
    void* const library = file.empty() ? nullptr : dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* reason = file.empty() ? nullptr : dlerror();
        pal::WriteDebugOutput("LoadLibraryW(" + pal::ToUtf8(fileName) + "): " +
                              (reason ? reason : "no such file"));
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    const HMODULE module = AddLoadedLibrary(library);
    if (!module) {
        dlclose(library);
        SetLastError(ERROR_MOD_NOT_FOUND);
    }
    return module;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName)
{
    if (module && ModulePath(module).empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (IsOrdinal(procName)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (module == pal::Kernel32Module())
        return pal::Kernel32Export(procName);
    void* const symbol = Symbol(module, procName);
    if (!symbol) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL WINAPI FreeLibrary(HMODULE module)
{
    if (module == pal::Kernel32Module())
        return TRUE;
    void* const library = ReleaseLoadedLibrary(module);
    if (!library) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    dlclose(library);
    return TRUE;
}

void WINAPI FreeLibraryAndExitThread(HMODULE module, DWORD exitCode)
{
    // Without the pin the module keeps this thread's reference: a leak, not a crash.
    if (PinUntilThreadExit(module))
        FreeLibrary(module);
    ExitThread(exitCode);
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName)
{
    if (moduleName) {
        SetLastError(ERROR_MOD_NOT_FOUND);  // only the program itself is named here
        return nullptr;
    }
    // The program's own headers lie in its image, whatever loaded it.
    return pal::ModuleOfAddress(reinterpret_cast<const void*>(getauxval(AT_PHDR)));
}

DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size)
{
    const std::string path = ModulePath(module);
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    const std::u16string text = pal::FromPosixPath(path);
    if (!buffer)
        size = 0;
    const DWORD copied = static_cast<DWORD>(pal::CopyToBuffer(text, buffer, size));
    if (copied < text.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;  // cut to size characters, terminator included
    }
    return copied;
}

DWORD WINAPI GetModuleBaseNameW(HANDLE process, HMODULE module, LPWSTR buffer, DWORD size)
{
    if (process != GetCurrentProcess()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    // The main program answers with the name it was started by, symlink or not.
    const std::string path = module ? ModulePath(module) : program_invocation_name;
    if (path.empty()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!buffer || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string name = pal::FromPosixPath(path.substr(path.rfind('/') + 1));
    // Cut without a terminator when it does not fit, as psapi does.
    const DWORD copied = static_cast<DWORD>(std::min<size_t>(name.size(), size));
    std::copy_n(name.data(), copied, buffer);
    if (copied < size)
        buffer[copied] = 0;
    return copied;
}
