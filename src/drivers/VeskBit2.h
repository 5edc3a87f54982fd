// The maker's closed scanner library veskbit2.dll, imported at load time.
// Statuses are 16-bit codes; the driver sign-extends them for the front end.
#pragma once
#include <cstdint>

#include "support/Win32.h"

constexpr uint32_t kVeskBitBlockSize = 89384;    // what VeskBitGetImage fills
constexpr uint32_t kVeskBitSkippedBytes = 1064;  // leading part the driver ignores
constexpr uint32_t kVeskBitWidth = 240;
constexpr uint32_t kVeskBitHeight = 368;

constexpr uint16_t kVeskBitImage = 0x0000;
constexpr uint16_t kVeskBitRejected = 0x1000;
constexpr uint16_t kVeskBitNoImageYet = 0x2000;
constexpr uint16_t kVeskBitEnd = 0x8000;
constexpr uint16_t kVeskBitEndQuietly = 0x8400;
constexpr uint16_t kVeskBitBrokenOff = 0x8020;

extern "C" {
// Non-zero when a scanner is attached.
uint32_t WINAPI VeskBitDeviceAttached();
// handleCell: a 4-byte block where the library keeps its device handle.
uint16_t WINAPI VeskBitOpenWithPriorityEx(uint32_t* handleCell, uint32_t priority, uint32_t reserved,
                                          uint32_t width, uint32_t height, uint32_t option);
// block: kVeskBitBlockSize bytes; on 0 the pixels follow the skipped bytes.
uint16_t WINAPI VeskBitGetImage(uint32_t* handleCell, uint8_t* block);
uint16_t WINAPI VeskBitClose(uint32_t* handleCell);
}
