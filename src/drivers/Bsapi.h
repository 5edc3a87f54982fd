// UPEK's BSAPI library bsapi.dll, imported at load time: the calls, records
// and codes the UPEK driver uses. Every call returns a signed 32-bit status,
// 0 = success; every buffer the library hands out goes back through ABSFree.
#pragma once
#include <cstddef>
#include <cstdint>

#include "support/Win32.h"

typedef int32_t ABS_STATUS;
typedef uint32_t ABS_CONNECTION;  // 0: no connection

constexpr ABS_STATUS ABS_STATUS_OK = 0;
constexpr ABS_STATUS ABS_STATUS_CANCELED = -5012;  // the operation was cancelled

constexpr uint32_t ABS_DEVPROP_DEVICE_VERSION = 0;
constexpr uint32_t ABS_MSG_PROCESS_SUSPEND = 0x13000000;  // another process took the scanner
constexpr uint32_t ABS_MSG_PROCESS_RESUME = 0x14000000;   // and gave it back

constexpr size_t ABS_DEVICE_LIST_ITEM_SIZE = 516;

struct ABS_OPERATION;
typedef void(WINAPI* ABS_CALLBACK)(const ABS_OPERATION* pOperation, uint32_t nMessage,
                                   void* pMessageData);

// Passed to ABSRawGrab; its callback receives the library's messages.
struct ABS_OPERATION {
    uint32_t OperationID;
    void* Context;
    ABS_CALLBACK Callback;
    int32_t Timeout;
    uint32_t Flags;
};

struct ABS_GRAB_FORMAT {
    uint32_t First;   // always 5
    uint32_t Second;  // by the scanner's generation
};

// One device: its DSN, NUL-terminated, at the start of a fixed-size entry.
struct ABS_DEVICE_LIST_ITEM {
    char Bytes[ABS_DEVICE_LIST_ITEM_SIZE];
};

// A count, then that many entries.
struct ABS_DEVICE_LIST {
    uint32_t NumDevices;
    ABS_DEVICE_LIST_ITEM List[1];
};

// A byte length, then that many bytes.
struct ABS_DATA {
    uint32_t Length;
    uint8_t Data[1];
};

// Width x height pixel bytes, one per pixel, row after row, after five words.
struct ABS_IMAGE {
    uint32_t Width;
    uint32_t Height;
    uint32_t Reserved[3];
    uint8_t ImageData[1];
};

// Callers built by other compilers read these records by offset.
static_assert(sizeof(ABS_GRAB_FORMAT) == 8);
static_assert(sizeof(ABS_DEVICE_LIST_ITEM) == 516);
static_assert(offsetof(ABS_DEVICE_LIST, List) == 4);
static_assert(offsetof(ABS_DATA, Data) == 4);
static_assert(offsetof(ABS_IMAGE, ImageData) == 20);
static_assert(sizeof(void*) != 4 ||
              (sizeof(ABS_OPERATION) == 20 && offsetof(ABS_OPERATION, Context) == 4 &&
               offsetof(ABS_OPERATION, Callback) == 8 && offsetof(ABS_OPERATION, Timeout) == 12 &&
               offsetof(ABS_OPERATION, Flags) == 16));

extern "C" {
ABS_STATUS WINAPI ABSInitialize();
ABS_STATUS WINAPI ABSTerminate();
// pszDsnFilter: "usb" for the scanners on USB. *ppList is freed with ABSFree.
ABS_STATUS WINAPI ABSEnumerateDevices(const char* pszDsnFilter, ABS_DEVICE_LIST** ppList);
ABS_STATUS WINAPI ABSOpen(const char* pszDsn, ABS_CONNECTION* phConnection);
ABS_STATUS WINAPI ABSClose(ABS_CONNECTION hConnection);
// *ppData is freed with ABSFree.
ABS_STATUS WINAPI ABSGetDeviceProperty(ABS_CONNECTION hConnection, uint32_t nPropertyId,
                                       ABS_DATA** ppData);
// Blocks until an image is there or the operation ends (ABSCancelOperation
// from another thread: ABS_STATUS_CANCELED). Both results are freed with ABSFree.
ABS_STATUS WINAPI ABSRawGrab(ABS_CONNECTION hConnection, ABS_OPERATION* pOperation,
                             uint32_t nPurpose, const ABS_GRAB_FORMAT* pFormat,
                             ABS_IMAGE** ppImage, void** ppSecondResult, uint32_t nFlags);
ABS_STATUS WINAPI ABSCancelOperation(ABS_CONNECTION hConnection, uint32_t nOperationId);
ABS_STATUS WINAPI ABSFree(void* pBuffer);
}
