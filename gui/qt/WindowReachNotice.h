// Where the desktop keeps other programs' windows out of this program's reach
// (a Wayland session whose compositor offers no window management to ordinary
// clients, as GNOME's), 监视下载 cannot close the download manager. The user
// learns it from the tool tip of 监视下载 and, once per run, from a desktop
// notification when monitoring starts with 监视下载 ticked.
#pragma once

#include <QString>
#include <functional>

namespace rm {

class Form1;

// What the tool tip and the notification say.
extern const QString kWindowsOutOfReachText;

// Sends a desktop notification (org.freedesktop.Notifications on the session
// bus) without waiting for an answer; nothing happens without a notification
// service.
void NotifyDesktop(const QString& summary, const QString& body);

using NotifyFn = std::function<void(const QString& summary, const QString& body)>;
// Does nothing when `outOfReach` is false.
void InstallWindowReachNotice(Form1& form, bool outOfReach, NotifyFn notify = NotifyDesktop);

}  // namespace rm
