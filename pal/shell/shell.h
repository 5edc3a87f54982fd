// The window, resource and notification-area calls of user32 and shell32
// that the tray icon uses. Windows are invisible here: a class table, window
// objects that answer their creation and destruction messages, nothing drawn.
// Resources come from the ".vesk_rsrc" section that vesk_add_resources()
// (cmake/VeskResources.cmake) builds from the module's .rc file. The
// notification area is one folder per user that other processes can read
// (NotificationAreaIcons, `vesk-admin tray --show`).
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "pal/base/wintypes.h"
#include "pal/crypto/crypto.h"  // the language identifiers

typedef struct HICON__* HICON;
typedef HICON HCURSOR;
typedef struct HBRUSH__* HBRUSH;
typedef struct HMENU__* HMENU;
typedef WORD ATOM;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef LRESULT(WINAPI* WNDPROC)(HWND, UINT, WPARAM, LPARAM);

#ifndef VESK_PAL_GUID_DEFINED
#define VESK_PAL_GUID_DEFINED
typedef struct _GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
} GUID;
#endif

typedef struct tagWNDCLASSEXW {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
    HICON hIconSm;
} WNDCLASSEXW;

typedef struct tagCREATESTRUCTW {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
} CREATESTRUCTW;

typedef struct _NOTIFYICONDATAW {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    WCHAR szTip[128];
    DWORD dwState;
    DWORD dwStateMask;
    WCHAR szInfo[256];
    union {
        UINT uTimeout;
        UINT uVersion;
    };
    WCHAR szInfoTitle[64];
    DWORD dwInfoFlags;
    GUID guidItem;
    HICON hBalloonIcon;
} NOTIFYICONDATAW, *PNOTIFYICONDATAW;

#define NOTIFYICONDATAW_V1_SIZE offsetof(NOTIFYICONDATAW, szTip[64])
#define NOTIFYICONDATAW_V2_SIZE offsetof(NOTIFYICONDATAW, guidItem)
#define NOTIFYICONDATAW_V3_SIZE offsetof(NOTIFYICONDATAW, hBalloonIcon)

#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)

#define WM_CREATE 0x0001u
#define WM_DESTROY 0x0002u
#define WM_NCCREATE 0x0081u
#define WM_NCDESTROY 0x0082u
#define WM_USER 0x0400u
#define WS_OVERLAPPEDWINDOW 0x00CF0000u
#define CW_USEDEFAULT ((int)0x80000000)
#define IMAGE_ICON 1u
#define LR_DEFAULTCOLOR 0x0000u
#define LR_DEFAULTSIZE 0x0040u
#define LR_SHARED 0x8000u
#define NIM_ADD 0x00000000u
#define NIM_MODIFY 0x00000001u
#define NIM_DELETE 0x00000002u
#define NIF_MESSAGE 0x00000001u
#define NIF_ICON 0x00000002u
#define NIF_TIP 0x00000004u
#define NIF_INFO 0x00000010u
#define NIIF_NONE 0x00000000u
#define NIIF_INFO 0x00000001u
#define LANG_GERMAN 0x07
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_INVALID_ICON_HANDLE 1402L

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* windowClass);
BOOL WINAPI UnregisterClassW(LPCWSTR className, HINSTANCE instance);
HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param);
LRESULT WINAPI DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL WINAPI DestroyWindow(HWND window);
HANDLE WINAPI LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int width, int height,
                         UINT flags);
HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR name);
BOOL WINAPI DestroyIcon(HICON icon);
int WINAPI LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int size);
BOOL WINAPI Shell_NotifyIconW(DWORD message, PNOTIFYICONDATAW data);
// From VESK_LANG (a LANGID such as 0x0407, or a locale such as de_DE), else
// LC_ALL, LC_MESSAGES or LANG; English (United States) for C and POSIX.
LANGID WINAPI GetSystemDefaultLangID();

namespace pal {

// One icon in this user's notification area, as any process sees it.
struct CNotifyIcon {
    DWORD m_nProcessId = 0;
    UINT m_nId = 0;
    UINT m_nCallbackMessage = 0;
    std::u16string m_sTip;
    std::u16string m_sBalloon;
    DWORD m_nBalloonFlags = 0;
    std::u16string m_sIcon;  // "101 16x16 from veskSensor" or "" without one
};

// The icons of live processes, oldest first; those of processes that ended
// without deleting theirs are dropped, as the shell drops them.
std::vector<CNotifyIcon> NotificationAreaIcons();
// The folder that holds them: VESK_OBJECTS_DIR (default /dev/shm), then
// "vesk-notification-area-<uid>".
std::string NotificationAreaDir();

}  // namespace pal
