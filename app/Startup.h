// Start-up and shutdown: the window's load handler, which restores the settings,
// adds the tray icon and fills the two address rows, and its unload handler.
#pragma once

#include "app/Form1.h"

namespace rm {

// The window's load handler, run before the window is shown. False when the
// settings could not be loaded (the user has been told): the program must end.
bool FormLoad(Form1& form);

// The window's unload handler: removes the tray icon and ends the program at
// once, without saving and without letting a scan in progress carry on.
void FormUnload(Form1& form);

}  // namespace rm
