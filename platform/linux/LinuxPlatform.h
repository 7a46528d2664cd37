// Factories of the Linux implementations of the platform interfaces; main()
// wires these in, the tests of the real edges use them directly. No Qt here:
// the services that are Qt by nature (tray, sound, dialogs, the event pump)
// belong to the front end in gui/qt.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/DesktopApi.h"
#include "core/HttpApi.h"
#include "core/NetworkApi.h"
#include "core/SettingsApi.h"
#include "platform/linux/SettingsFolder.h"

namespace rm {

// Network (rtnetlink, AF_PACKET, the system resolver).
class ArpHelperClient;
// `helper`: the window's one router-monitor-arp client, shared with its range
// scanner; none: a client of its own.
std::unique_ptr<ArpResolver> MakeLinuxArpResolver(std::shared_ptr<ArpHelperClient> helper = {});
std::unique_ptr<AddressTable> MakeLinuxAddressTable();
std::unique_ptr<SocketLibrary> MakeLinuxSocketLibrary();
std::unique_ptr<LocalAddress> MakeLinuxLocalAddress();

// Desktop (Xlib, libwayland-client, process start).
// `ownWindows` lists the program's own top-level windows; they, and every window
// that names this process in _NET_WM_PID, are never listed, so never acted on.
using OwnWindowsFn = std::function<std::vector<WindowSystem::WindowId>()>;
std::unique_ptr<WindowSystem> MakeX11WindowSystem(OwnWindowsFn ownWindows = {});
std::unique_ptr<ProgramLauncher> MakeLinuxProgramLauncher();

// Native Wayland windows, through whichever window-management protocol the
// compositor offers ordinary clients (wlroots' foreign-toplevel management or
// KDE Plasma's window management). Windows with the application id `ownAppId`,
// of this process, or titled exactly as one of `ownTitles()` are never listed;
// with an empty `ownAppId`, only those titled so.
class WaylandWindowSystem : public WindowSystem {
  public:
    // A Wayland session whose compositor answers.
    virtual bool SessionPresent() = 0;
    // The compositor lets this program close other programs' windows.
    virtual bool CanCloseOthers() = 0;
    // The window is minimised, as the compositor last reported it.
    virtual bool IsMinimized(WindowId w) = 0;
};
using OwnTitlesFn = std::function<std::vector<std::string>()>;
std::unique_ptr<WaylandWindowSystem> MakeWaylandWindowSystem(std::string ownAppId,
                                                             OwnTitlesFn ownTitles = {});
// Every window of every part (X11 and Wayland at once: XWayland windows stay X11
// windows), each acted on through the part that listed it.
std::unique_ptr<WindowSystem> MakeCompositeWindowSystem(
    std::vector<std::unique_ptr<WindowSystem>> parts);

// The folder of the running executable.
std::unique_ptr<ProgramFolder> MakeLinuxProgramFolder();
// The running user's settings folder: `programFolder` when only that user may
// write it, else `userFolder` (by default the one under $XDG_CONFIG_HOME or
// ~/.config), filled from the program folder's files on first start.
std::unique_ptr<SettingsFolder> MakeLinuxSettingsFolder(const std::string& programFolder);
std::unique_ptr<SettingsFolder> MakeLinuxSettingsFolder(const std::string& programFolder,
                                                        const std::string& userFolder);
// The settings files in `folder` (which outlives them) and their iconv codec.
std::unique_ptr<SettingsFiles> MakeLinuxSettingsFiles(SettingsFolder& folder);
std::unique_ptr<NarrowCodec> MakeIconvNarrowCodec();

// Download clients' remote controls (libcurl).
std::unique_ptr<HttpClient> MakeCurlHttpClient();

}  // namespace rm
