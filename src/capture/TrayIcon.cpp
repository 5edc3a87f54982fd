#include "capture/TrayIcon.h"

#include <algorithm>

#include "support/CSpinLock.h"
#include "support/Registry.h"
#include "support/ThisModule.h"
#include "veskSensor.h"

namespace {

constexpr UINT kIconId = 5000;
constexpr UINT kCallbackMessage = 5001;
constexpr WORD kIconResource = 101;
constexpr UINT kApplicationText = 102, kUnknownApplicationText = 104, kRemoteText = 106;
constexpr int kTextBuffer = 2048;
constexpr UINT kBalloonMilliseconds = 5000;
const WCHAR kWindowClass[] = W("VESKSENSORTRAY");

// One icon per process. The capture thread and a stopping caller may remove
// it at once, so the handles are guarded; the lock needs no construction,
// since a removal can come as late as the library's unload.
CSpinLock g_trayLock;
NOTIFYICONDATAW g_record;
// The form with the balloon and the item's GUID, that Windows XP knows.
static_assert(sizeof(void*) != 4 || NOTIFYICONDATAW_V3_SIZE == 952, "NOTIFYICONDATAW layout");
HWND g_hWindow = nullptr;
HICON g_hIcon = nullptr;

LRESULT WINAPI TrayWindowProc(HWND hWindow, UINT nMessage, WPARAM wParam, LPARAM lParam)
{
    if (nMessage == kCallbackMessage)
        return 0;
    return DefWindowProcW(hWindow, nMessage, wParam, lParam);
}

// The even identifier holds the German text, the next one the text for
// every other language.
WString LoadText(UINT nGermanId)
{
    const bool bGerman = PRIMARYLANGID(GetSystemDefaultLangID()) == LANG_GERMAN;
    WCHAR szText[kTextBuffer] = {};
    const int nLength = LoadStringW(GetThisModule(), bGerman ? nGermanId : nGermanId + 1, szText,
                                    kTextBuffer);
    return WString(szText, static_cast<size_t>(std::max(nLength, 0)));
}

WString ScannerName(uint8_t nType)
{
    switch (nType) {
    case FS_TYPE_REMOTE: return LoadText(kRemoteText);
    case FS_TYPE_VESKBIT: return W("vesk bit");
    case FS_TYPE_AUTHENTEC: return W("Authentec");
    case FS_TYPE_UPEK: return W("UPEK TCS3");
    case FS_TYPE_VALIDITY: return W("Validity");
    default: return WString();
    }
}

WString ProgramName()
{
    WCHAR szName[kTextBuffer] = {};
    const DWORD nLength = GetModuleBaseNameW(GetCurrentProcess(), nullptr, szName, kTextBuffer);
    const WString sName(szName, std::min<DWORD>(nLength, kTextBuffer - 1));
    return sName.substr(sName.rfind(W('\\')) + 1);
}

template <size_t N>
void CopyCut(WCHAR (&field)[N], const WString& sText)
{
    const size_t nCopied = std::min(sText.size(), N - 1);
    std::copy_n(sText.begin(), nCopied, field);
    field[nCopied] = 0;
}

}  // namespace

bool IsTrayIconWanted()
{
    CHRegKey key;
    if (RegCreateKeyEx64(HKEY_CURRENT_USER, W("SOFTWARE\\vesk\\veskSensor\\Settings"), 0, nullptr,
                         REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, key.GetAddress(),
                         nullptr) != ERROR_SUCCESS)
        return true;
    DWORD nValue = 0, nType = REG_NONE, nSize = sizeof nValue;
    if (RegQueryValueExW(key.Get(), W("UseTrayIconNotification"), nullptr, &nType,
                         reinterpret_cast<LPBYTE>(&nValue), &nSize) != ERROR_SUCCESS)
        return true;
    return nType == REG_DWORD && nSize == sizeof nValue && nValue != 0;
}

WString TrayIconText(uint8_t nScannerType)
{
    WString sText = W("Fingerscanner: ") + ScannerName(nScannerType) + W("\r\n") +
                    LoadText(kApplicationText) + W(": ");
    const WString sProgram = ProgramName();
    return sText + (sProgram.empty() ? LoadText(kUnknownApplicationText) : sProgram);
}

bool CreateTrayIcon()
{
    const HINSTANCE hProcess = GetModuleHandleW(nullptr);
    const HICON hIcon = static_cast<HICON>(
        LoadImageW(GetThisModule(), MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, 16, 16, 0));
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = TrayWindowProc;
    windowClass.hInstance = hProcess;
    windowClass.lpszClassName = kWindowClass;
    windowClass.hIconSm = hIcon;
    RegisterClassExW(&windowClass);  // already registered by an earlier capture: fine
    const HWND hWindow = CreateWindowExW(0, kWindowClass, nullptr, WS_OVERLAPPEDWINDOW,
                                         CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr, nullptr,
                                         hProcess, nullptr);
    CSpinLockGuard guard(g_trayLock);
    g_hIcon = hIcon;
    g_hWindow = hWindow;
    if (!hWindow)
        return false;
    g_record = NOTIFYICONDATAW{};
    g_record.cbSize = NOTIFYICONDATAW_V3_SIZE;
    g_record.hWnd = hWindow;
    g_record.uID = kIconId;
    g_record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_INFO;
    g_record.uCallbackMessage = kCallbackMessage;
    g_record.hIcon = hIcon;
    g_record.uTimeout = kBalloonMilliseconds;
    g_record.dwInfoFlags = NIIF_INFO;
    Shell_NotifyIconW(NIM_ADD, &g_record);
    return hIcon != nullptr;
}

void SetTrayIconText(uint8_t nScannerType)
{
    const WString sText = TrayIconText(nScannerType);
    CSpinLockGuard guard(g_trayLock);
    CopyCut(g_record.szTip, sText);
    CopyCut(g_record.szInfo, sText);
    g_record.dwInfoFlags = NIIF_INFO;
    Shell_NotifyIconW(NIM_MODIFY, &g_record);
}

void RemoveTrayIcon()
{
    CSpinLockGuard guard(g_trayLock);
    if (g_hWindow)
        Shell_NotifyIconW(NIM_DELETE, &g_record);
    if (g_hIcon)
        DestroyIcon(g_hIcon);
    if (g_hWindow)
        DestroyWindow(g_hWindow);
    g_hIcon = nullptr;
    g_hWindow = nullptr;
}
