// The tray icon of the window: the operations every part uses to change it
// (always delete and add, never modify), the tick of the flash timer and the
// rule of the tray's mouse messages.
#pragma once

#include <string_view>

#include "core/Monitor.h"
#include "core/TrayApi.h"

namespace rm {

// The tip the taskbar shows for the icon.
inline constexpr std::string_view kTrayTip = "Tesk网监视";

// Fills the window's tray record completely and asks the tray to add the icon.
void AddTrayIcon(Monitor& m, IconId icon);
// Deletes the icon that the tray record currently describes.
void RemoveTrayIcon(Monitor& m);
// RemoveTrayIcon, then AddTrayIcon(icon).
void ReplaceTrayIcon(Monitor& m, IconId icon);
// One flash: ki flips between 0 and -1, and the icon alternates the red pictures.
void Timer2Tick(Monitor& m);
// x carries the mouse message on the icon in twips (message number * 15); a
// left double-click brings the window back as it was left.
void TrayCallback(Monitor& m, int button, int shift, float x, float y);

}  // namespace rm
