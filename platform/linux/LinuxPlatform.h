// Factories of the Linux implementations of the platform interfaces; main()
// wires these in, the tests of the real edges use them directly.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/DesktopApi.h"
#include "platform/NetworkApi.h"
#include "platform/TrayApi.h"

class QWidget;

namespace rm {

// Network (rtnetlink, AF_PACKET, the system resolver).
std::unique_ptr<ArpResolver> MakeLinuxArpResolver();
std::unique_ptr<AddressTable> MakeLinuxAddressTable();
std::unique_ptr<SocketLibrary> MakeLinuxSocketLibrary();
std::unique_ptr<LocalAddress> MakeLinuxLocalAddress();

// Desktop (Xlib, Qt Multimedia, process start).
// `ownWindows` lists the program's own top-level windows; they, and every window
// that names this process in _NET_WM_PID, are never listed, so never acted on.
using OwnWindowsFn = std::function<std::vector<WindowSystem::WindowId>()>;
std::unique_ptr<WindowSystem> MakeX11WindowSystem(OwnWindowsFn ownWindows = {});
std::unique_ptr<SoundOutput> MakeQtSoundOutput();
std::unique_ptr<ProgramLauncher> MakeLinuxProgramLauncher();

// Window-side services (Qt Widgets). `parent` is the main window.
std::unique_ptr<MessageBoxes> MakeQtMessageBoxes(QWidget* parent);
std::unique_ptr<FileDialog> MakeQtFileDialog(QWidget* parent);
std::unique_ptr<TrayHost> MakeQtTrayHost();

// The folder of the running executable; the monotonic millisecond clock and the event pump.
std::unique_ptr<ProgramFolder> MakeLinuxProgramFolder();
// The running user's settings folder: `programFolder` when only that user may
// write it, else `userFolder` (by default the one under $XDG_CONFIG_HOME or
// ~/.config), filled from the program folder's files on first start.
std::unique_ptr<SettingsFolder> MakeLinuxSettingsFolder(const QString& programFolder);
std::unique_ptr<SettingsFolder> MakeLinuxSettingsFolder(const QString& programFolder,
                                                        const QString& userFolder);
std::unique_ptr<Clock> MakeQtClock();

}  // namespace rm
