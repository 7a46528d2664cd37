// One fake of every outside service, and a Services already wired to them. A test
// that needs a real implementation for some member points just that member at it.
// Neither copyable nor movable: `services` holds the addresses of the fakes beside it.
#pragma once

#include "app/Services.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeNetwork.h"
#include "platform/fake/FakeScanner.h"
#include "platform/fake/FakeTray.h"

namespace rm {

struct FakeServices {
    FakeServices() = default;
    FakeServices(const FakeServices&) = delete;
    FakeServices& operator=(const FakeServices&) = delete;

    FakeArpResolver arp;
    FakeAddressTable addresses;
    FakeSocketLibrary sockets;
    FakeLocalAddress localAddress;
    FakeRangeScanner scanner;
    FakeWindowSystem windows;
    FakeSoundOutput sound;
    FakeProgramLauncher launcher;
    FakeMessageBoxes messages;
    FakeFileDialog fileDialog;
    FakeProgramFolder folder;
    FakeSettingsFolder settingsFolder;
    FakeClock clock;
    FakeTrayHost tray;

    Services services{.arp = &arp,
                      .addresses = &addresses,
                      .sockets = &sockets,
                      .localAddress = &localAddress,
                      .scanner = &scanner,
                      .windows = &windows,
                      .sound = &sound,
                      .launcher = &launcher,
                      .messages = &messages,
                      .fileDialog = &fileDialog,
                      .folder = &folder,
                      .settings = &settingsFolder,
                      .clock = &clock,
                      .tray = &tray};
};

}  // namespace rm
