// Start-up and shutdown: the window's load handler, which restores the settings,
// adds the tray icon and fills the two address rows, and its unload handler.
#pragma once

#include "core/Monitor.h"

namespace rm {

// The window's load handler, run before the window is shown. False when the
// settings could not be loaded (the user has been told): the program must end.
bool FormLoad(Monitor& m);

// The window's unload handler: removes the tray icon and ends the program at
// once, without saving and without letting a scan in progress carry on.
void FormUnload(Monitor& m);

}  // namespace rm
