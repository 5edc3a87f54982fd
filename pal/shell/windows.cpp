// RegisterClassExW, CreateWindowExW, DefWindowProcW, DestroyWindow: window
// objects in the handle table that answer their creation and destruction
// messages through their class's procedure; nothing is shown.
#include <map>
#include <memory>
#include <mutex>

#include "pal/base/handles.h"
#include "pal/base/lasting.h"
#include "pal/registry/RegName.h"
#include "pal/shell/CWindowObject.h"
#include "pal/shell/shell.h"

namespace {

struct SClass {
    WNDPROC m_pfnProc = nullptr;
    HINSTANCE m_hInstance = nullptr;
    ATOM m_nAtom = 0;
};

// Class names compare without case, as Windows compares them; a class is the
// module's own (its instance) once registered.
struct SClassTable {
    std::mutex lock;
    std::map<std::u16string, SClass> classes;
    ATOM nextAtom = 0xC000;  // the range of registered classes
};

SClassTable& Classes() { return pal::CLasting<SClassTable>::Get(); }

std::u16string Key(LPCWSTR name) { return pal::registry::FoldName(name); }

template <class T>
T Fail(DWORD error, T result)
{
    SetLastError(error);
    return result;
}

}  // namespace

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* windowClass)
{
    if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXW) || !windowClass->lpfnWndProc ||
        !windowClass->lpszClassName || IS_INTRESOURCE(windowClass->lpszClassName) ||
        !*windowClass->lpszClassName)
        return Fail<ATOM>(ERROR_INVALID_PARAMETER, 0);
    SClassTable& table = Classes();
    const std::lock_guard<std::mutex> guard(table.lock);
    const auto [it, added] = table.classes.try_emplace(Key(windowClass->lpszClassName));
    if (!added)
        return Fail<ATOM>(ERROR_CLASS_ALREADY_EXISTS, 0);
    it->second = {windowClass->lpfnWndProc, windowClass->hInstance, table.nextAtom++};
    return it->second.m_nAtom;
}

BOOL WINAPI UnregisterClassW(LPCWSTR className, HINSTANCE)
{
    if (!className || IS_INTRESOURCE(className))
        return Fail<BOOL>(ERROR_CANNOT_FIND_WND_CLASS, FALSE);
    SClassTable& table = Classes();
    const std::lock_guard<std::mutex> guard(table.lock);
    return table.classes.erase(Key(className)) ? TRUE : Fail<BOOL>(ERROR_CANNOT_FIND_WND_CLASS, FALSE);
}

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param)
{
    SClass found;
    {
        SClassTable& table = Classes();
        const std::lock_guard<std::mutex> guard(table.lock);
        const auto it = className && !IS_INTRESOURCE(className) ? table.classes.find(Key(className))
                                                                : table.classes.end();
        if (it == table.classes.end())
            return Fail<HWND>(ERROR_CANNOT_FIND_WND_CLASS, nullptr);
        found = it->second;
    }
    auto window = std::make_shared<pal::CWindowObject>(found.m_pfnProc);
    const HWND handle = static_cast<HWND>(pal::InsertHandle(window));
    window->SetHandle(handle);
    CREATESTRUCTW create{param,          instance, menu,          parent, height, width, y, x,
                         LONG(style),    windowName, className, exStyle};
    const LPARAM lParam = reinterpret_cast<LPARAM>(&create);
    // A procedure that refuses either message makes the creation fail.
    if (!window->Send(WM_NCCREATE, 0, lParam) || window->Send(WM_CREATE, 0, lParam) == -1) {
        DestroyWindow(handle);
        return Fail<HWND>(ERROR_SUCCESS, nullptr);
    }
    return handle;
}

LRESULT WINAPI DefWindowProcW(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_NCCREATE ? TRUE : 0;
}

BOOL WINAPI DestroyWindow(HWND window)
{
    const auto object = pal::FindHandleOf<pal::CWindowObject>(window);
    if (!object)
        return Fail<BOOL>(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    pal::RemoveHandle(window);
    object->Send(WM_DESTROY, 0, 0);
    object->Send(WM_NCDESTROY, 0, 0);
    return TRUE;
}
