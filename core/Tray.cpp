// The tray operations of the window over the TrayHost seam, the flash tick and
// the tray's mouse messages.
#include "core/Tray.h"

#include "core/TextNumber.h"

namespace rm {

namespace {
constexpr uint32_t kRecordSize = 88;
constexpr uint32_t kIconId = 1;
constexpr uint32_t kFlags = 7;              // callback message + icon + tip are valid
constexpr uint32_t kCallbackMessage = 512;  // the mouse-move message
constexpr int kLeftDoubleClick = 515;       // 0x203
}  // namespace

void AddTrayIcon(Monitor& m, IconId icon) {
    TrayRecord& r = m.state.trayicon;
    r.cbSize = kRecordSize;
    // The window object's address names the window for the tray: it is unique and
    // stable, and unlike a native id it exists before the window is first shown.
    r.hWnd = reinterpret_cast<uintptr_t>(&m.form);
    r.uID = kIconId;
    r.uFlags = kFlags;
    r.uCallbackMessage = kCallbackMessage;
    r.hIcon = icon;
    r.szTip = std::string(kTrayTip);
    m.services.tray->ShellNotifyIcon(TrayHost::kAdd, r);
}

void RemoveTrayIcon(Monitor& m) {
    m.services.tray->ShellNotifyIcon(TrayHost::kDelete, m.state.trayicon);
}

void ReplaceTrayIcon(Monitor& m, IconId icon) {
    RemoveTrayIcon(m);
    AddTrayIcon(m, icon);
}

void Timer2Tick(Monitor& m) {
    m.state.ki = int16_t(~m.state.ki);
    RemoveTrayIcon(m);
    if (m.state.ki == -1) {
        AddTrayIcon(m, IconId::Picture1);
    } else {
        AddTrayIcon(m, IconId::Picture2);
    }
}

void TrayCallback(Monitor& m, int /*button*/, int /*shift*/, float x, float /*y*/) {
    if (ToInt32(double(x) / 15.0) == kLeftDoubleClick) m.form.ShowWindow();
}

}  // namespace rm
