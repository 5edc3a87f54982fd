/*
 * veskSensor: one interface to whichever fingerprint scanner is attached,
 * locally or, in a Remote Desktop session, at the user's client machine.
 *
 * This version captures from the maker's own swipe scanner, locally or, in a
 * Remote Desktop session, at the client through the library's own add-in.
 *
 * Use:
 *   1. Fill a FingerscannerData with InitFingerscannerData.
 *   2. Optionally ask DetectFingerscanner which scanner will be used.
 *   3. Start with GetImageFromFingerscanner. Events, prompts and images then
 *      arrive through the callback on the library's capture thread (only a
 *      start-up FS_EVENT_NO_SENSOR arrives on the caller's thread, before the
 *      call returns). FS_EVENT_CAPTURE_ENDED is always the last event.
 *   4. Stop with StopFingerscanner (a single-capture request also ends by
 *      itself after one image). Starting again while a capture runs replaces
 *      it: the old caller then gets no further event.
 *
 * The exports may be called from any thread, also from inside the callback.
 * The library holds no lock of its own while the callback runs.
 */
#ifndef VESKSENSOR_H
#define VESKSENSOR_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define VESK_CALLBACK __stdcall
#else
#define VESK_CALLBACK
#endif

#if defined(_WIN32)
#define VESK_API __declspec(dllimport)
#else
#define VESK_API __attribute__((visibility("default")))
#endif
#if defined(VESK_BUILDING_LIBRARY)
#undef VESK_API
#if defined(_WIN32)
#define VESK_API
#else
#define VESK_API __attribute__((visibility("default")))
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Event codes: the second argument of the callback. */
enum {
    /* session events (1025-2500) */
    FS_EVENT_REMOTE_CAPTURE = 1027,      /* an attempt goes to the remote client's scanner */
    FS_EVENT_CAPTURE_ENDED = 1028,       /* always the last event of a capture */
    FS_EVENT_CAPTURE_INTERRUPTED = 1029, /* the scanner broke the capture off; it ends */
    /* scanner prompts (2501-4000): an attempt waits for a finger */
    FS_EVENT_READY_VESKBIT = 2501,
    FS_EVENT_READY_AUTHENTEC = 2503,
    FS_EVENT_READY_UPEK = 2504,
    FS_EVENT_READY_VALIDITY = 2505,
    /* failures (4001-5500) */
    FS_EVENT_NO_SENSOR = 4009,         /* no scanner at the start, or it went away */
    FS_EVENT_RETRY = 4011,             /* the scanner rejected one attempt; the capture goes on */
    FS_EVENT_REMOTE_NO_SENSOR = 4012,  /* the remote client found no scanner */
    FS_EVENT_REMOTE_BUSY = 4014,       /* the remote client could not start a capture */
    FS_EVENT_CHANNEL_ERROR = 4015,     /* the Remote Desktop channel is not usable */
    FS_EVENT_REMOTE_ABORTED = 4018,    /* the remote capture ended without an image */
    FS_EVENT_SIZE_MISMATCH = 4019,     /* a remote message had the wrong length */
    FS_EVENT_REMOTE_FAILED = 4020,     /* the command could not reach the remote client; the capture ends */
    /* results (5501-6000) */
    FS_EVENT_IMAGE = 5501 /* data: pointer to a FingerscannerImage */
};

/* Scanner type codes. */
enum {
    FS_TYPE_NONE = 0,
    FS_TYPE_REMOTE = 2,    /* the scanner at the Remote Desktop client */
    FS_TYPE_VESKBIT = 3,   /* the maker's own swipe scanner */
    FS_TYPE_AUTHENTEC = 4, /* AuthenTec, through its fingerprint service */
    FS_TYPE_UPEK = 5,      /* UPEK TCS3 */
    FS_TYPE_VALIDITY = 7   /* never detected: no driver */
};

/*
 * The callback: (first value, event code, event data, context). The first
 * value is 0 for captures started through GetImageFromFingerscanner; the data
 * is a FingerscannerImage pointer for FS_EVENT_IMAGE and 0 otherwise; the
 * context is the caller's value from the request. The result is ignored.
 * On 32-bit Windows the callee removes the arguments (stdcall).
 */
typedef uint32_t(VESK_CALLBACK* FingerscannerCallback)(uintptr_t first, uint32_t event,
                                                        uintptr_t data, uintptr_t context);

/*
 * The capture request: filled by InitFingerscannerData, owned by the caller,
 * and copied by GetImageFromFingerscanner, so it may be reused at once.
 */
typedef struct FingerscannerData {
    uint32_t valid;          /* 1 once filled */
    uint32_t detectionMode;
    uint32_t priority;       /* scanner access priority 0, 1 or 2 */
    uint32_t ownBrandOption; /* passed to the own-brand scanner library's open call */
    uint32_t singleCapture;  /* non-zero: end after the first image */
    uintptr_t context;       /* returned as the fourth argument of every event */
    FingerscannerCallback callback;
    uintptr_t reserved;      /* stored, never read */
} FingerscannerData;

/*
 * An image, the data of FS_EVENT_IMAGE. Owned by the library and valid only
 * while the callback runs: copy what you need.
 */
typedef struct FingerscannerImage {
    const void* bitmapInfo; /* 40-byte BITMAPINFOHEADER + 256-entry grey palette; 0 for remote images */
    uint8_t* pixels;        /* 400,000-byte buffer; width bytes per row, height rows */
    uint32_t width;         /* 240 */
    uint32_t height;        /* 368 */
} FingerscannerImage;

#if defined(_WIN32) && !defined(_WIN64)
/* The records are 32-bit words on the 32-bit product. */
typedef char vesk_request_is_32_bytes[sizeof(FingerscannerData) == 32 ? 1 : -1];
typedef char vesk_image_is_16_bytes[sizeof(FingerscannerImage) == 16 ? 1 : -1];
#endif

/* Result codes of GetImageFromFingerscanner. */
enum {
    FS_START_OK = 0,             /* started; events follow on the capture thread */
    FS_START_NO_SENSOR = 1,      /* FS_EVENT_NO_SENSOR was delivered before the return */
    FS_START_INVALID_REQUEST = 3, /* null record, not filled, or no callback; no event */
    FS_START_NO_THREAD = 4       /* the capture thread could not be created; no event */
};

/* Fills the request; 0 (nothing written) when data or callback is null, else 1. */
VESK_API uint32_t InitFingerscannerData(FingerscannerData* data, FingerscannerCallback callback,
                                        uintptr_t reserved, uintptr_t context,
                                        uint32_t detectionMode, uint32_t ownBrandOption,
                                        uint32_t priority, uint32_t singleCapture);
/* The scanner type a capture would use; the running capture's type while one runs. */
VESK_API int32_t DetectFingerscanner(uint32_t detectionMode);
/* Starts (or replaces) the capture; see the FS_START_ codes. */
VESK_API uint32_t GetImageFromFingerscanner(const FingerscannerData* data);
/* Asks the running capture to end; always 1. FS_EVENT_CAPTURE_ENDED follows. */
VESK_API uint32_t StopFingerscanner(void);
/* The scanner type of the running capture, 0 when none runs. */
VESK_API int32_t CurrentlyUsedFingerscanner(void);

#ifdef __cplusplus
}
#endif

#endif /* VESKSENSOR_H */
