// AuthenTec's ATSC70 swipe library (ATSC70.dll, ATSC70_64.dll), bound at run
// time: the entry points the ATSC70 driver calls, as it calls them. Every
// entry point uses the standard calling convention; statuses are signed
// 16-bit, 0 = success.
#pragma once
#include <cstddef>
#include <cstdint>

#include "support/Win32.h"

typedef int16_t AT_STATUS;

constexpr AT_STATUS AT_STATUS_OK = 0;
// ATGetNextSensorNameW: a name was delivered all the same.
constexpr AT_STATUS AT_STATUS_NAME_DELIVERED = 18;

// What ATGetNextSensorNameW fills, in wide characters.
constexpr size_t AT_SENSOR_NAME_CHARS = 256;
// The second argument of ATOpenSensorW.
constexpr uint32_t AT_OPEN_MODE = 1;

// Message codes the driver acts on; the rest are only logged.
constexpr uint16_t AT_MSG_IMAGE_READY = 5;
constexpr uint16_t AT_MSG_ENDED = 12;
constexpr uint16_t AT_MSG_ENDED_OTHER = 13;

// A message of the acquisition loop. The library's record may be longer;
// the driver reads the code and nothing else.
struct AT_MESSAGE {
    uint16_t Code;
};
static_assert(offsetof(AT_MESSAGE, Code) == 0 && sizeof(AT_MESSAGE) == 2);

typedef AT_STATUS(WINAPI* PFN_ATInit)();
typedef AT_STATUS(WINAPI* PFN_ATClose)();
// pszName: the first sensor's name, or null for an unnamed one.
typedef AT_STATUS(WINAPI* PFN_ATOpenSensorW)(const WCHAR* pszName, uint32_t nMode);
typedef AT_STATUS(WINAPI* PFN_ATCloseSensor)();
// pszName: AT_SENSOR_NAME_CHARS characters, zero-filled by the caller.
typedef AT_STATUS(WINAPI* PFN_ATGetNextSensorNameW)(WCHAR* pszName);
typedef AT_STATUS(WINAPI* PFN_ATBeginAcquireImage)(uint32_t, uint32_t, uint32_t, uint32_t);
// pSwipe: ATGetImageBufferSize() bytes.
typedef AT_STATUS(WINAPI* PFN_ATEndAcquireImage)(uint8_t* pSwipe);
// pImage: at least what ATGetMaxFullImageSize answered for this swipe.
typedef AT_STATUS(WINAPI* PFN_ATCreateFullImage)(const uint8_t* pSwipe, uint16_t* pnWidth,
                                                 uint16_t* pnHeight, uint8_t* pImage);
typedef AT_STATUS(WINAPI* PFN_ATGetMaxFullImageSize)(const uint8_t* pSwipe, uint32_t* pnBytes);
typedef AT_STATUS(WINAPI* PFN_ATGetSwipeInfo)(const uint8_t* pSwipe, uint32_t* pnFirst,
                                              uint32_t* pnSecond, uint32_t* pnThird);
typedef uint32_t(WINAPI* PFN_ATGetImageBufferSize)();
typedef void(WINAPI* PFN_ATReleaseMessage)(const AT_MESSAGE* pMessage);
// Null when no message is waiting.
typedef const AT_MESSAGE*(WINAPI* PFN_ATGetNextMessage)();

// Undecorated names, for GetProcAddress, in the binding's order.
#define AT_ENTRY_POINTS(X)                                                                       \
    X(ATInit) X(ATClose) X(ATOpenSensorW) X(ATCloseSensor) X(ATGetNextSensorNameW)               \
        X(ATBeginAcquireImage) X(ATEndAcquireImage) X(ATCreateFullImage) X(ATGetMaxFullImageSize) \
            X(ATGetSwipeInfo) X(ATGetImageBufferSize) X(ATReleaseMessage) X(ATGetNextMessage)
