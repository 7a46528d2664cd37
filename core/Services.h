// Every outside service the window's logic uses, built before the window and
// wired in by main() with the Linux implementations and by the tests with
// fakes. None is ever missing.
#pragma once

#include "core/DesktopApi.h"
#include "core/HttpApi.h"
#include "core/NetworkApi.h"
#include "core/RangeScanner.h"
#include "core/SettingsApi.h"
#include "core/TrayApi.h"

namespace rm {

struct Services {
    ArpResolver* arp;
    AddressTable* addresses;
    SocketLibrary* sockets;
    LocalAddress* localAddress;
    RangeScanner* scanner;
    WindowSystem* windows;
    SoundOutput* sound;
    ProgramLauncher* launcher;
    MessageBoxes* messages;
    FileDialog* fileDialog;
    ProgramFolder* folder;
    SettingsFiles* settings;
    NarrowCodec* codec;
    Clock* clock;
    TrayHost* tray;
    HttpClient* http;
    TaskPoster* poster;
};

}  // namespace rm
