// Factories of the services that belong to the Win32 front end: the tray, the
// message boxes, the file dialog and the clock whose waits keep the window's
// messages flowing. main() wires these in beside platform/windows.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "core/DesktopApi.h"
#include "core/TrayApi.h"

namespace rm {

// The window that dialogs belong to, asked for when one is shown (may be null).
using OwnerFn = std::function<HWND()>;

std::unique_ptr<MessageBoxes> MakeWin32MessageBoxes(OwnerFn owner);
std::unique_ptr<FileDialog> MakeWin32FileDialog(OwnerFn owner);
std::unique_ptr<TrayHost> MakeWin32TrayHost(HINSTANCE instance = nullptr);
std::unique_ptr<Clock> MakeWin32Clock();

// The caption of the program's message boxes.
inline constexpr const wchar_t* kMessageCaption = L"Orla网监视";

// UTF-8 to and from UTF-16; malformed input becomes U+FFFD.
std::wstring Wide(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

// The window whose keyboard navigation (Tab, arrows, Space) the message pumps
// serve through IsDialogMessageW; Form1 sets itself.
void SetDialogWindow(HWND hwnd);
// Dispatches one message as the main loop and every wait do.
void DispatchOne(MSG& msg);
// Runs the messages already queued; false once WM_QUIT was seen (it is posted
// again so that the main loop ends too).
bool PumpPending();
// The main loop: until WM_QUIT; returns its exit code.
int RunMessageLoop();

// Registers the window class `wc` describes (its hInstance and lpszClassName
// name it) unless this module has it already: several objects make windows of
// one class.
void RegisterWindowClassOnce(WNDCLASSEXW wc);

}  // namespace rm
