// The CHANNEL_ENTRY_POINTS table that VirtualChannelEntry receives. Its
// functions have no context argument, so they reach the channels of the run
// through one process-wide pointer, set for the life of a CEntryPointsScope.
#pragma once
#include "CVirtualChannels.h"

namespace vrdpc {

CHANNEL_ENTRY_POINTS MakeEntryPoints();

class CEntryPointsScope {
public:
    explicit CEntryPointsScope(CVirtualChannels& channels);
    // Calls that come later (from a thread an add-in failed to end) answer
    // CHANNEL_RC_NOT_INITIALIZED.
    ~CEntryPointsScope();
    CEntryPointsScope(const CEntryPointsScope&) = delete;
    CEntryPointsScope& operator=(const CEntryPointsScope&) = delete;
};

}  // namespace vrdpc
