// The caller's image result record: filled from a CRawImg for one callback,
// then released. Each returns false only for a null record.
#pragma once
#include "image/CRawImg.h"
#include "veskSensor.h"

bool InitFingerscannerImage(FingerscannerImage* pImage);
// bitmapInfo points into rawImg, which must outlive the record's use.
bool FillFingerscannerImage(FingerscannerImage* pImage, const CRawImg& rawImg);
bool FreeFingerscannerImage(FingerscannerImage* pImage);
