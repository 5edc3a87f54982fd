// File-system queries.
#pragma once
#include "support/Win32.h"

class CFsHelper {
public:
    virtual ~CFsHelper() = default;

    // True for an existing file or folder.
    static bool PathExists(const WString& sPath);
    // The file version as "major.minor.build.revision"; zero-padded gives
    // 2, 2, 2 and 5 digits at least (07.07.00.00060).
    static bool GetFileVersion(const WString& sPath, WString& sVersion, bool bZeroPadded);
};
