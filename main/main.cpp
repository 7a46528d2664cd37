// router-monitor: wires the Linux platform layer into the window and the monitor.
#include <QApplication>
#include <QIcon>
#include <cstdio>

#include "app/Fonts.h"
#include "app/Form1.h"
#include "app/SettingsStore.h"
#include "app/Startup.h"
#include "monitor/MonitorCycle.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/RawArpSocket.h"
#include "scanner/ArpRangeScanner.h"

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
    QApplication::setDesktopFileName(QStringLiteral("router-monitor"));
    QApplication::setQuitOnLastWindowClosed(false);
    rm::InstallFontSubstitutions();

    auto arp = rm::MakeLinuxArpResolver();
    auto addresses = rm::MakeLinuxAddressTable();
    auto sockets = rm::MakeLinuxSocketLibrary();
    auto localAddress = rm::MakeLinuxLocalAddress();
    auto scanner = rm::MakeArpRangeScanner();
    auto windows = rm::MakeX11WindowSystem();
    auto sound = rm::MakeQtSoundOutput();
    auto launcher = rm::MakeLinuxProgramLauncher();
    auto folder = rm::MakeLinuxProgramFolder();
    auto settingsFolder = rm::MakeLinuxSettingsFolder(folder->Path());
    auto clock = rm::MakeQtClock();
    auto tray = rm::MakeQtTrayHost();

    rm::Services services;
    services.arp = arp.get();
    services.addresses = addresses.get();
    services.sockets = sockets.get();
    services.localAddress = localAddress.get();
    services.scanner = scanner.get();
    services.windows = windows.get();
    services.sound = sound.get();
    services.launcher = launcher.get();
    services.folder = folder.get();
    services.settings = settingsFolder.get();
    services.clock = clock.get();
    services.tray = tray.get();

    rm::Form1 form(services);
    auto messages = rm::MakeQtMessageBoxes(&form);
    auto fileDialog = rm::MakeQtFileDialog(&form);
    services.messages = messages.get();
    services.fileDialog = fileDialog.get();

    form.onTimer1Tick = [&form] { rm::MonitorTick(form); };
    form.onCommand3Click = [&form] { rm::SaveAllSettings(form); };
    QObject::connect(&form, &rm::Form1::closing, [&form] { rm::FormUnload(form); });

    if (!rm::FormLoad(form)) return 1;
    form.show();
    return QApplication::exec();
}
