// Factories of the services that are Qt by nature: the tray, the sound, the
// message boxes, the file dialog and the clock whose sleeps keep serving the
// window's events. main() wires these in beside the Linux platform layer.
#pragma once

#include <functional>
#include <memory>

#include "core/DesktopApi.h"
#include "core/HttpApi.h"
#include "core/TrayApi.h"

class QWidget;

namespace rm {

// The window that dialogs belong to, asked for when one is shown.
using ParentFn = std::function<QWidget*()>;

std::unique_ptr<SoundOutput> MakeQtSoundOutput();
std::unique_ptr<MessageBoxes> MakeQtMessageBoxes(ParentFn parent);
std::unique_ptr<FileDialog> MakeQtFileDialog(ParentFn parent);
// Without a tray, the pictures the icon would show go to `window`'s icon, so
// that the taskbar shows them.
std::unique_ptr<TrayHost> MakeQtTrayHost(ParentFn window = {});
std::unique_ptr<Clock> MakeQtClock();
// Runs tasks on the thread that made it (the window's), from its event loop.
std::unique_ptr<TaskPoster> MakeQtTaskPoster();

}  // namespace rm
