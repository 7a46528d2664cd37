// QtTrayHost: Shell_NotifyIcon semantics over QSystemTrayIcon, and the icon's
// activations turned back into the tray's mouse messages.
#include "gui/qt/QtTrayHost.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QIcon>
#include <QStyleHints>
#include <QTimer>

#include "gui/qt/Icons.h"
#include "gui/qt/QtFrontEnd.h"

namespace rm {

namespace {

int64_t NowMs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

}  // namespace

std::vector<int> TrayClickTranslator::Translate(QSystemTrayIcon::ActivationReason reason,
                                                int64_t nowMs, int intervalMs) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            if (lastTrigger_ >= 0 && nowMs - lastTrigger_ <= intervalMs) {
                lastTrigger_ = -1;
                return {kLeftDoubleClick, kLeftUp};
            }
            lastTrigger_ = nowMs;
            return {kLeftDown, kLeftUp};
        case QSystemTrayIcon::DoubleClick:
            lastTrigger_ = -1;
            return {kLeftDoubleClick, kLeftUp};
        case QSystemTrayIcon::Context:
            return {kRightDown, kRightUp};
        case QSystemTrayIcon::MiddleClick:
            return {kMiddleDown, kMiddleUp};
        default:
            return {};
    }
}

// `present` is the icon as the tray's bookkeeping sees it. A deleted icon keeps
// its QSystemTrayIcon until the event loop runs again: every change of picture is
// a delete followed at once by an add, and taking the icon off the tray and back
// would move it and re-emit its activations (QTBUG-48068). The add then reuses it
// with setIcon, which looks the same to the user.
struct QtTrayHost::Entry {
    std::unique_ptr<QSystemTrayIcon> icon;
    bool present = false;
    IconId shown = IconId::None;
};

QtTrayHost::QtTrayHost(std::function<QWidget*()> window) : window_(std::move(window)) {}

QtTrayHost::~QtTrayHost() {
    for (auto& [key, entry] : icons_) {
        if (entry->icon) entry->icon->hide();
    }
}

// With no tray the taskbar is where an alarm can be seen; once a tray is there,
// the window keeps its own icon again.
void QtTrayHost::ShowOnWindow(IconId icon) {
    QWidget* window = window_ ? window_() : nullptr;
    if (!window) return;
    if (QSystemTrayIcon::isSystemTrayAvailable()) icon = IconId::Window;
    if (icon == onWindow_ || icon == IconId::None) return;
    window->setWindowIcon(IconImage(icon));
    onWindow_ = icon;
}

void QtTrayHost::Apply(Entry& entry, const TrayRecord& record) {
    ShowOnWindow(record.hIcon);
    if (entry.shown != record.hIcon) {
        entry.icon->setIcon(IconImage(record.hIcon));
        entry.shown = record.hIcon;
    }
    entry.icon->setToolTip(QString::fromStdString(record.szTip));
}

bool QtTrayHost::ShellNotifyIcon(int action, const TrayRecord& record) {
    const auto key = std::make_pair(record.hWnd, record.uID);
    auto found = icons_.find(key);
    Entry* entry = found == icons_.end() ? nullptr : found->second.get();
    switch (action) {
        case kAdd: {
            if (entry && entry->present) return false;
            if (!entry) {
                auto made = std::make_unique<Entry>();
                made->icon = std::make_unique<QSystemTrayIcon>();
                QObject::connect(made->icon.get(), &QSystemTrayIcon::activated,
                                 [this, raw = made.get()](QSystemTrayIcon::ActivationReason why) {
                                     if (raw->present) Deliver(why);
                                 });
                entry = made.get();
                icons_[key] = std::move(made);
            }
            entry->present = true;
            Apply(*entry, record);
            if (!entry->icon->isVisible()) entry->icon->show();
            return true;
        }
        case kModify:
            if (!entry || !entry->present) return false;
            Apply(*entry, record);
            return true;
        case kDelete: {
            if (!entry || !entry->present) return false;
            entry->present = false;
            QTimer::singleShot(0, entry->icon.get(), [this, key] {
                auto it = icons_.find(key);
                if (it != icons_.end() && !it->second->present) {
                    it->second->icon->hide();
                    it->second->icon.release()->deleteLater();
                    icons_.erase(it);
                }
            });
            return true;
        }
        default:
            return false;
    }
}

void QtTrayHost::SetCallback(std::function<void(float)> onMouseMessage) {
    callback_ = std::move(onMouseMessage);
}

void QtTrayHost::Deliver(QSystemTrayIcon::ActivationReason reason) {
    const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    for (int message : translator_.Translate(reason, NowMs(), interval)) {
        // The window's own handler may run a nested event loop (a message box);
        // a callback cleared meanwhile is simply not called again.
        if (callback_) callback_(float(message) * 15.0f);
    }
}

QRect QtTrayHost::IconGeometry(uint64_t hWnd, uint32_t uID) const {
    auto it = icons_.find({hWnd, uID});
    if (it == icons_.end() || !it->second->present) return {};
    return it->second->icon->geometry();
}

bool QtTrayHost::Has(uint64_t hWnd, uint32_t uID) const {
    auto it = icons_.find({hWnd, uID});
    return it != icons_.end() && it->second->present;
}

std::unique_ptr<TrayHost> MakeQtTrayHost(ParentFn window) {
    return std::make_unique<QtTrayHost>(std::move(window));
}

}  // namespace rm
