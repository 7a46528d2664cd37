// The notification-area icon over QSystemTrayIcon, with the semantics of
// Shell_NotifyIcon: one icon per (window, id), an add while it exists and a
// delete while it is absent fail and change nothing. Clicks on the icon come
// back as the mouse messages of the original tray.
#pragma once

#include <QRect>
#include <QSystemTrayIcon>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "core/TrayApi.h"

namespace rm {

// Mouse messages of the original tray callback.
enum TrayMessage : int {
    kLeftDown = 0x201,
    kLeftUp = 0x202,
    kLeftDoubleClick = 0x203,
    kRightDown = 0x204,
    kRightUp = 0x205,
    kMiddleDown = 0x207,
    kMiddleUp = 0x208,
};

// Turns QSystemTrayIcon activations into those messages. The XEmbed tray reports
// a double-click as Trigger then DoubleClick; the StatusNotifierItem tray never
// reports DoubleClick, so there a second Trigger within the double-click interval
// stands for it. A DoubleClick ends the pair, so a third quick click starts anew.
class TrayClickTranslator {
  public:
    // `nowMs` is a monotonic time; `intervalMs` the desktop's double-click interval.
    std::vector<int> Translate(QSystemTrayIcon::ActivationReason reason, int64_t nowMs,
                               int intervalMs);

  private:
    int64_t lastTrigger_ = -1;
};

class QtTrayHost : public TrayHost {
  public:
    // `window`: the window whose icon shows the pictures while there is no tray.
    explicit QtTrayHost(std::function<QWidget*()> window = {});
    ~QtTrayHost() override;
    bool ShellNotifyIcon(int action, const TrayRecord& record) override;
    void SetCallback(std::function<void(float x)> onMouseMessage) override;

    // Where the tray shows the icon of (window, id) on the screen; empty when absent.
    QRect IconGeometry(uint64_t hWnd, uint32_t uID) const;
    // Whether the tray holds the icon of (window, id).
    bool Has(uint64_t hWnd, uint32_t uID) const;

  private:
    struct Entry;
    void Deliver(QSystemTrayIcon::ActivationReason reason);
    void Apply(Entry& entry, const TrayRecord& record);

    void ShowOnWindow(IconId icon);

    std::function<QWidget*()> window_;
    IconId onWindow_ = IconId::Window;
    std::map<std::pair<uint64_t, uint32_t>, std::unique_ptr<Entry>> icons_;
    std::function<void(float)> callback_;
    TrayClickTranslator translator_;
};

}  // namespace rm
