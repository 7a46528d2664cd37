// The notice that this desktop lets no program close another's windows.
#include "gui/qt/WindowReachNotice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

#include "gui/qt/Form1.h"

namespace rm {

const QString kWindowsOutOfReachText = QStringLiteral(
    "这个桌面不允许程序关闭其他程序的窗口，监视下载无法关闭下载程序。"
    "请让下载程序在 XWayland 下运行，或使用 KDE Plasma 或 wlroots 类桌面（如 sway）。");

void NotifyDesktop(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("router-monitor") << 0u << QStringLiteral("router-monitor") << summary
         << body << QStringList() << QVariantMap() << -1;
    bus.send(call);
}

void InstallWindowReachNotice(Form1& form, bool outOfReach, NotifyFn notify) {
    if (!outOfReach) return;
    form.Check2->setToolTip(kWindowsOutOfReachText);
    // Told once per run: every start of monitoring would repeat it.
    auto told = std::make_shared<bool>(false);
    QObject::connect(form.Command1, &QPushButton::clicked, &form,
                     [&form, told, notify = std::move(notify)] {
                         if (*told || !form.Check2->isChecked()) return;
                         *told = true;
                         notify(QStringLiteral("路由器使用监视器"), kWindowsOutOfReachText);
                     });
}

}  // namespace rm
