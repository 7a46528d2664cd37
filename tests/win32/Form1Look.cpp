// Shows Form1 as the program does, with its resources, for a screenshot of the
// window: no logic behind it, the buttons do nothing. Closes itself after the
// seconds given (10 by default), or when the window is closed. Its tray icon
// shows beside it.
#include <windows.h>

#include <cwchar>
#include <memory>

#include "gui/win32/Form1.h"
#include "gui/win32/Win32FrontEnd.h"

namespace {

struct QuietEvents : rm::Form1Events {
    void Command1Click() override {}
    void Command2Click() override {}
    void Command3Click() override {}
    void Command4Click() override {}
    void Command5Click() override {}
    void Command8Click() override {}
    void Timer1Tick() override {}
    void Timer2Tick() override {}
    void OnTrayCallback(int, int, float, float) override {}
    void FormUnload() override {}
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int seconds = argc > 1 ? _wtoi(argv[1]) : 10;
    const bool excludedPanel = argc > 2 && std::wcscmp(argv[2], L"mac") == 0;
    QuietEvents events;
    auto form = std::make_unique<rm::Form1>(events, GetModuleHandleW(nullptr));
    if (!form->Handle()) return 1;
    form->SetText(rm::Control::Text1, "02-00-00-00-00-01");
    form->SetText(rm::Control::Text2, "192.168.1.1");
    form->AddItem(rm::Control::Combo1, "192.168.1.");
    form->SetListIndex(rm::Control::Combo1, 0);
    if (excludedPanel) form->Command7Click();
    form->ShowWindow();
    // The tray icon at rest, as the program adds it at start.
    auto tray = rm::MakeWin32TrayHost(GetModuleHandleW(nullptr));
    rm::TrayRecord icon;
    icon.hWnd = reinterpret_cast<uintptr_t>(form.get());
    icon.uID = 1;
    icon.hIcon = rm::IconId::Window;
    icon.szTip = "Tesk网监视";
    tray->ShellNotifyIcon(rm::TrayHost::kAdd, icon);
    SetTimer(form->Handle(), 99, UINT(seconds > 0 ? seconds : 10) * 1000u,
             [](HWND hwnd, UINT, UINT_PTR, DWORD) { PostMessageW(hwnd, WM_CLOSE, 0, 0); });
    return rm::RunMessageLoop();
}
