// The notification-area icon that tells the user, while a local capture runs,
// which scanner and which application want the finger. Process-wide: created
// and labelled by the capture thread, removed by it and by the stop path.
#pragma once
#include <cstdint>

#include "support/Win32.h"

// The per-user switch UseTrayIconNotification: on when it cannot be read,
// else on exactly for a non-zero REG_DWORD.
bool IsTrayIconWanted();
// False when the window cannot be made, or the icon not loaded.
bool CreateTrayIcon();
// "Fingerscanner: NAME\r\nApplication: PROGRAM", as tooltip and balloon.
void SetTrayIconText(uint8_t nScannerType);
// Harmless when there is nothing to remove.
void RemoveTrayIcon();
// The text for a scanner type, before it is cut to the tooltip's length.
WString TrayIconText(uint8_t nScannerType);
