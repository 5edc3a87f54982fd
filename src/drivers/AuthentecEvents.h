// What the AuthenTec service drivers log for one event of the service.
#pragma once
#include "drivers/AFSSClient.h"

// Debug lines only; pszDriver names the driver in the default line.
void LogAuthentecEvent(const WCHAR* pszDriver, const AuthenTec::AFSSClientLib::AFSSEvent& event);
