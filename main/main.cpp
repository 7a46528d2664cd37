// router-monitor: wires the Linux platform layer and the Qt front end into the
// window's logic.
#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/Monitor.h"
#include "core/SettingsStore.h"
#include "core/Startup.h"
#include "gui/qt/Fonts.h"
#include "gui/qt/Form1.h"
#include "gui/qt/QtFrontEnd.h"
#include "gui/qt/WindowReachNotice.h"
#include "platform/linux/ArpHelperClient.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/RawArpSocket.h"
#include "scanner/ArpRangeScanner.h"

namespace {
const QString kAppId = QStringLiteral("router-monitor");
}  // namespace

int main(int argc, char** argv) {
    // The window needs no capability: raw ARP is router-monitor-arp's, a process
    // of its own. Should this executable have been given one anyway, it goes
    // before a toolkit (and whatever plugins it loads) runs. The bounding set
    // stays, or the helper's own file capability could never take effect.
    if (!rm::DropOwnCapabilities()) {
        std::fprintf(stderr, "router-monitor: could not drop capabilities; stopping\n");
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orla网监视"));
    // Also the Wayland application id, by which the window system knows our own windows.
    QApplication::setDesktopFileName(kAppId);
    QApplication::setQuitOnLastWindowClosed(false);
    rm::InstallFontSubstitutions();

    // Every service first; the window comes last, made together with its logic.
    rm::Form1* window = nullptr;
    const rm::ParentFn parent = [&window]() -> QWidget* { return window; };
    // One router-monitor-arp for the window: its probes and sweeps share it.
    auto arpHelper = std::make_shared<rm::ArpHelperClient>();
    auto arp = rm::MakeLinuxArpResolver(arpHelper);
    auto addresses = rm::MakeLinuxAddressTable();
    auto sockets = rm::MakeLinuxSocketLibrary();
    auto localAddress = rm::MakeLinuxLocalAddress();
    auto scanner = rm::MakeArpRangeScanner(arpHelper);
    // The window and its dialogs are never closed or minimised by a title
    // fragment: on X11 they are skipped by id, and by _NET_WM_PID where it is
    // set; on Wayland by the application id and by their titles. XWayland
    // windows are X11 windows, so both paths run in one session.
    std::vector<std::unique_ptr<rm::WindowSystem>> windowPaths;
    windowPaths.push_back(rm::MakeX11WindowSystem([] {
        std::vector<rm::WindowSystem::WindowId> own;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->testAttribute(Qt::WA_WState_Created)) own.push_back(w->winId());
        return own;
    }));
    auto wayland = rm::MakeWaylandWindowSystem(kAppId.toStdString(), [] {
        std::vector<std::string> own;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->testAttribute(Qt::WA_WState_Created))
                own.push_back((w->windowTitle().isEmpty() ? QApplication::applicationName()
                                                          : w->windowTitle())
                                  .toStdString());
        return own;
    });
    rm::WaylandWindowSystem* waylandWindows = wayland.get();
    windowPaths.push_back(std::move(wayland));
    auto windows = rm::MakeCompositeWindowSystem(std::move(windowPaths));
    auto sound = rm::MakeQtSoundOutput();
    auto launcher = rm::MakeLinuxProgramLauncher();
    auto messages = rm::MakeQtMessageBoxes(parent);
    auto fileDialog = rm::MakeQtFileDialog(parent);
    auto folder = rm::MakeLinuxProgramFolder();
    auto settingsFolder = rm::MakeLinuxSettingsFolder(folder->Path());
    auto settings = rm::MakeLinuxSettingsFiles(*settingsFolder);
    auto codec = rm::MakeIconvNarrowCodec();
    auto clock = rm::MakeQtClock();
    auto tray = rm::MakeQtTrayHost(parent);
    auto http = rm::MakeCurlHttpClient();
    auto poster = rm::MakeQtTaskPoster();

    const rm::Services services{.arp = arp.get(),
                                .addresses = addresses.get(),
                                .sockets = sockets.get(),
                                .localAddress = localAddress.get(),
                                .scanner = scanner.get(),
                                .windows = windows.get(),
                                .sound = sound.get(),
                                .launcher = launcher.get(),
                                .messages = messages.get(),
                                .fileDialog = fileDialog.get(),
                                .folder = folder.get(),
                                .settings = settings.get(),
                                .codec = codec.get(),
                                .clock = clock.get(),
                                .tray = tray.get(),
                                .http = http.get(),
                                .poster = poster.get()};

    rm::Monitor monitor(services, [&window](rm::Form1Events& events) {
        auto form = std::make_unique<rm::Form1>(events);
        window = form.get();
        return form;
    });

    // The user sees where the files are kept, beside the program or not.
    window->Command3->setToolTip(
        QString::fromStdString(rm::SettingsFolderTip(settingsFolder->Path())));
    if (!rm::FormLoad(monitor)) return 1;
    rm::InstallWindowReachNotice(
        *window, waylandWindows->SessionPresent() && !waylandWindows->CanCloseOthers());
    window->show();
    return QApplication::exec();
}
