// The tray icon of the window: the operations every part uses to change it
// (always delete and add, never modify), the hide-to-tray button and the tick
// of the flash timer. The window's mouse-move handler, OnTrayCallback, is a
// member of Form1 and lives in Tray.cpp.
#pragma once

#include <QIcon>

#include "app/Form1.h"
#include "platform/TrayApi.h"

namespace rm {

// The tip the taskbar shows for the icon.
inline const QString kTrayTip = QStringLiteral("Tesk网监视");

// The picture of one of the window's icons, with its 16, 24, 32 and 48 px images
// (embedded resources ":/icons/window-N.png", "picture1-N.png", "picture2-N.png").
QIcon IconImage(IconId icon);

// Fills the window's tray record completely and asks the tray to add the icon.
void AddTrayIcon(Form1& form, IconId icon);
// Deletes the icon that the tray record currently describes.
void RemoveTrayIcon(Form1& form);
// RemoveTrayIcon, then AddTrayIcon(icon).
void ReplaceTrayIcon(Form1& form, IconId icon);
// "最小化": make sure there is an icon to come back by, then hide the window.
void Command4Click(Form1& form);
// One flash: ki flips between 0 and -1, and the icon alternates the red pictures.
void Timer2Tick(Form1& form);

}  // namespace rm
