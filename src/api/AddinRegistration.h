// Registers the library, for the current user, as an add-in of the Remote
// Desktop client, so that the client loads it whenever the user connects.
#pragma once

bool RegisterRemoteDesktopAddin();
