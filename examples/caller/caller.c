/* A caller of the installed veskSensor: which scanner is there, and one image
 * from it. Exit status 0 with one image, 1 without a scanner, 2 otherwise. */
#include <stdio.h>
#include <veskSensor.h>

#ifdef _WIN32
#include <windows.h>
static void Pause(void) { Sleep(50); }
#else
#include <unistd.h>
static void Pause(void) { usleep(50 * 1000); }
#endif

static volatile int g_ended;
static volatile unsigned g_width, g_height;

/* Runs on the library's capture thread. */
static uint32_t VESK_CALLBACK OnEvent(uintptr_t first, uint32_t event, uintptr_t data,
                                      uintptr_t context)
{
    (void)first;
    (void)context;
    if (event == FS_EVENT_IMAGE) {
        const FingerscannerImage* image = (const FingerscannerImage*)data;
        g_width = image->width;
        g_height = image->height;
    } else if (event == FS_EVENT_CAPTURE_ENDED) {
        g_ended = 1;
    }
    return 0;
}

int main(void)
{
    FingerscannerData request;
    int waited;
    const int32_t type = DetectFingerscanner(0);
    printf("scanner type: %d\n", (int)type);
    if (type == FS_TYPE_NONE)
        return 1;
    InitFingerscannerData(&request, OnEvent, 0, 0, 0, 0, 0, 1);
    if (GetImageFromFingerscanner(&request) != FS_START_OK)
        return 2;
    for (waited = 0; !g_ended && waited < 600; ++waited)
        Pause();
    if (!g_ended) {
        StopFingerscanner();
        return 2;
    }
    printf("image: %u x %u\n", g_width, g_height);
    return g_width ? 0 : 2;
}
