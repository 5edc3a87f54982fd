#include "capture/RemoteCapture.h"

// This build carries no session-side channel yet: the capture command cannot
// reach the client, which the capture thread reports as FS_EVENT_REMOTE_FAILED
// and which ends the capture.
uint32_t GetImageFromRemoteSensor(ExtractionThreadData&, FingerscannerImage&)
{
    return FS_EVENT_REMOTE_FAILED;
}

void ReleaseRemoteCapture() {}
