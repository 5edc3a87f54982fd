// The administrator's switch and folder for bitmap snapshots of captured images.
#pragma once
#include "support/Win32.h"

// True when snapshots are on and a folder is configured; sFolder receives the
// folder, or is emptied. Read afresh on every call.
bool ReadSaveBmpSettings(WString& sFolder);
