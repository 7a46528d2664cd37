// Every outside service the window and the monitor use, wired in by main() with
// the Linux implementations and by the tests with fakes.
#pragma once

#include "platform/DesktopApi.h"
#include "platform/NetworkApi.h"
#include "platform/TrayApi.h"
#include "scanner/RangeScanner.h"

namespace rm {

struct Services {
    ArpResolver* arp = nullptr;
    AddressTable* addresses = nullptr;
    SocketLibrary* sockets = nullptr;
    LocalAddress* localAddress = nullptr;
    RangeScanner* scanner = nullptr;
    WindowSystem* windows = nullptr;
    SoundOutput* sound = nullptr;
    ProgramLauncher* launcher = nullptr;
    MessageBoxes* messages = nullptr;
    FileDialog* fileDialog = nullptr;
    ProgramFolder* folder = nullptr;
    SettingsFolder* settings = nullptr;
    Clock* clock = nullptr;
    TrayHost* tray = nullptr;
};

}  // namespace rm
