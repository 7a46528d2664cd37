// router-monitor.exe: wires the Windows platform layer and the Win32 front end
// into the window's logic, as main/main.cpp does on Linux.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "core/Monitor.h"
#include "core/SettingsStore.h"
#include "core/Startup.h"
#include "gui/win32/Form1.h"
#include "gui/win32/Win32FrontEnd.h"
#include "gui/win32/Win32TaskPoster.h"
#include "platform/windows/WindowsPlatform.h"
#include "platform/windows/WindowsRangeScanner.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    // Every service first; the window comes last, made together with its logic.
    rm::Form1* window = nullptr;
    const rm::OwnerFn owner = [&window]() -> HWND { return window ? window->Handle() : nullptr; };
    auto arp = rm::MakeWindowsArpResolver();
    auto addresses = rm::MakeWindowsAddressTable();
    auto sockets = rm::MakeWindowsSocketLibrary();
    auto localAddress = rm::MakeWindowsLocalAddress();
    // The scanner's lines reach the list on this thread, from whichever pump
    // serves: the main loop or the monitor's wait.
    rm::Win32TaskPoster poster(instance);
    auto scanner = std::make_unique<rm::WindowsRangeScanner>(
        [&poster](std::function<void()> task) { poster.Post(std::move(task)); });
    // The window, its dialogs and the tray's own window are never closed or
    // minimised by a title fragment: the window system skips this process's windows.
    auto windows = rm::MakeWindowsWindowSystem();
    auto sound = rm::MakeWindowsSoundOutput();
    auto launcher = rm::MakeWindowsProgramLauncher();
    auto messages = rm::MakeWin32MessageBoxes(owner);
    auto fileDialog = rm::MakeWin32FileDialog(owner);
    auto folder = rm::MakeWindowsProgramFolder();
    // Beside the program where its folder can be written, else per user in %APPDATA%.
    std::string settingsFolder;
    auto settings = rm::MakeWindowsSettingsFiles(folder->Path(), {}, &settingsFolder);
    auto codec = rm::MakeWindowsNarrowCodec();
    auto clock = rm::MakeWin32Clock();
    auto tray = rm::MakeWin32TrayHost(instance);
    auto http = rm::MakeWinHttpClient();
    // The download client's answers reach the window's thread as the scanner's lines do.
    struct Poster : rm::TaskPoster {
        rm::Win32TaskPoster& window;
        explicit Poster(rm::Win32TaskPoster& p) : window(p) {}
        void Post(std::function<void()> task) override { window.Post(std::move(task)); }
    } taskPoster(poster);

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
                                .poster = &taskPoster};

    rm::Monitor monitor(services, [&window, instance](rm::Form1Events& events) {
        auto form = std::make_unique<rm::Form1>(events, instance);
        window = form.get();
        return form;
    });
    if (!window || !window->Handle()) return 1;

    // The user sees where the files are kept, beside the program or not.
    window->SetToolTip(L"Command3", rm::SettingsFolderTip(settingsFolder));
    if (!rm::FormLoad(monitor)) return 1;
    ::ShowWindow(window->Handle(), show == SW_HIDE ? SW_SHOWNORMAL : show);
    return rm::RunMessageLoop();
}
