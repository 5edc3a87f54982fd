// The module-wide state of the logger, shared by the facility functions and
// the logger's path computation.
#pragma once
#include "support/CCriticalSection.h"

// Valid only while the facility is initialised.
CCriticalSection& LoggerFacilityLock();
