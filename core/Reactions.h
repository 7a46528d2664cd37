// The verdict of a scan and what follows from it: sounds, the tray alarm,
// Label15, and closing or starting the download manager, or pausing and
// resuming its transfers over its remote control.
#pragma once

#include "core/Monitor.h"

namespace rm {

// Others are on the network: warning sound, alarm icon or flashing, "危险",
// the download manager's windows closed (or its transfers paused).
void ReactToOthersFound(Monitor& m);

// Nobody else was found: after checking that the router is unchanged, the
// all-clear sound, the window icon, "安全", the download manager started (or
// its transfers resumed) once.
void ReactToNetworkFree(Monitor& m);

}  // namespace rm
