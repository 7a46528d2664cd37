// The window's three icons, for the window, its hidden picture boxes and the tray.
#pragma once

#include <QIcon>

#include "core/TrayApi.h"

namespace rm {

// The picture of one of the window's icons, with its 16, 24, 32 and 48 px images
// (embedded resources ":/icons/window-N.png", "picture1-N.png", "picture2-N.png").
QIcon IconImage(IconId icon);

}  // namespace rm
