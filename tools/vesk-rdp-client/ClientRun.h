// One run of the client: listen, load the add-ins, serve the session until
// told to stop, then take everything down in the order a real client does.
#pragma once
#include "ClientOptions.h"

namespace vrdpc {

// The exit status; failures that end the run throw CToolError.
int RunClient(const SClientSettings& settings);

}  // namespace vrdpc
