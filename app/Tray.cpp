// The tray operations of the window over the TrayHost seam, the hide-to-tray
// button, the flash tick and the tray's mouse messages.
#include "app/Tray.h"

#include <QtGlobal>

#include "core/TextNumber.h"

// The icons are resources of a static library: registered explicitly, since the
// linker would otherwise drop their unreferenced initialiser.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace rm {

QIcon IconImage(IconId icon) {
    static const bool registered = (InitIconResources(), true);
    Q_UNUSED(registered);
    const char* name = icon == IconId::Picture1   ? "picture1"
                       : icon == IconId::Picture2 ? "picture2"
                       : icon == IconId::Window   ? "window"
                                                  : nullptr;
    QIcon image;
    if (!name) return image;
    for (int size : {16, 24, 32, 48}) {
        image.addFile(QStringLiteral(":/icons/%1-%2.png").arg(QLatin1String(name)).arg(size),
                      QSize(size, size));
    }
    return image;
}

namespace {
constexpr uint32_t kRecordSize = 88;
constexpr uint32_t kIconId = 1;
constexpr uint32_t kFlags = 7;              // callback message + icon + tip are valid
constexpr uint32_t kCallbackMessage = 512;  // the mouse-move message
constexpr int kLeftDoubleClick = 515;       // 0x203
}  // namespace

void AddTrayIcon(Form1& form, IconId icon) {
    TrayRecord& r = form.trayicon;
    r.cbSize = kRecordSize;
    // The window object's address names the window for the tray: it is unique and
    // stable, and unlike a native id it exists before the window is first shown.
    r.hWnd = quintptr(&form);
    r.uID = kIconId;
    r.uFlags = kFlags;
    r.uCallbackMessage = kCallbackMessage;
    r.hIcon = icon;
    r.szTip = kTrayTip;
    if (form.services.tray) form.services.tray->ShellNotifyIcon(TrayHost::kAdd, r);
}

void RemoveTrayIcon(Form1& form) {
    if (form.services.tray) form.services.tray->ShellNotifyIcon(TrayHost::kDelete, form.trayicon);
}

void ReplaceTrayIcon(Form1& form, IconId icon) {
    RemoveTrayIcon(form);
    AddTrayIcon(form, icon);
}

// The icon normally exists already; the add then fails and the tray keeps what it
// shows, an alarm included.
void Command4Click(Form1& form) {
    AddTrayIcon(form, IconId::Window);
    form.hide();
}

void Timer2Tick(Form1& form) {
    form.ki = int16_t(~form.ki);
    RemoveTrayIcon(form);
    if (form.ki == -1) {
        AddTrayIcon(form, IconId::Picture1);
    } else {
        AddTrayIcon(form, IconId::Picture2);
    }
}

// x carries the mouse message on the icon, in twips (message number * 15). Only
// the left double-click brings the window back; it comes back as it was left.
void Form1::OnTrayCallback(int /*button*/, int /*shift*/, float x, float /*y*/) {
    if (ToInt32(double(x) / 15.0) == kLeftDoubleClick) show();
}

}  // namespace rm
