// The remote half of a capture: attempts on the scanner at the Remote
// Desktop client, over the session's channel.
#pragma once
#include "capture/ExtractionThreadData.h"

// One remote attempt into `image` (a 400,000-byte pixel buffer); 0 when an
// image arrived, otherwise the event code that ends or repeats the attempt.
uint32_t GetImageFromRemoteSensor(ExtractionThreadData& data, FingerscannerImage& image);
// Tells the client to stop its capture.
void ReleaseRemoteCapture();
