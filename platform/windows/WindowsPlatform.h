// Factories of the Windows implementations of the platform interfaces, for the
// Win32 front end's main() and for the tests of the real edges. Nothing here
// includes <windows.h>: callers see only the core's interfaces.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/DesktopApi.h"
#include "core/HttpApi.h"
#include "core/NetworkApi.h"
#include "core/SettingsApi.h"

namespace rm {

// Network (iphlpapi, Winsock).
std::unique_ptr<ArpResolver> MakeWindowsArpResolver();
std::unique_ptr<AddressTable> MakeWindowsAddressTable();
std::unique_ptr<SocketLibrary> MakeWindowsSocketLibrary();
// The socket control's LocalIP: the default route's source address.
std::unique_ptr<LocalAddress> MakeWindowsLocalAddress();

// Desktop. Windows of this process are never listed, so never acted on;
// `ownWindows` may name more (HWNDs as WindowIds) that must be left alone.
using WindowsOwnWindowsFn = std::function<std::vector<WindowSystem::WindowId>()>;
std::unique_ptr<WindowSystem> MakeWindowsWindowSystem(WindowsOwnWindowsFn ownWindows = {});
std::unique_ptr<SoundOutput> MakeWindowsSoundOutput();
std::unique_ptr<ProgramLauncher> MakeWindowsProgramLauncher();
std::unique_ptr<ProgramFolder> MakeWindowsProgramFolder();

// The settings files: in `programFolder` when it can be written, else in
// `userFolder` (by default %APPDATA%\router-monitor), filled from the program
// folder's files by Prepare. `folderUsed`, when given, receives the choice.
std::unique_ptr<SettingsFiles> MakeWindowsSettingsFiles(const std::string& programFolder,
                                                        const std::string& userFolder = {},
                                                        std::string* folderUsed = nullptr);
// The settings files in `folder`, filled from `defaults` (none when empty).
std::unique_ptr<SettingsFiles> MakeWindowsSettingsFilesIn(const std::string& folder,
                                                          const std::string& defaults);

// Code page 936 text of the settings files, with GB18030 (54936) for what 936 lacks.
std::unique_ptr<NarrowCodec> MakeWindowsNarrowCodec();

// Download clients' remote controls (WinHTTP).
std::unique_ptr<HttpClient> MakeWinHttpClient();

}  // namespace rm
