// A tray host that behaves like the notification area: one icon per (window, id),
// add fails while it exists, delete fails while it is absent. Records every call.
#pragma once

#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "core/TrayApi.h"

namespace rm {

class FakeTrayHost : public TrayHost {
  public:
    struct Call {
        int action;
        IconId icon;
        bool ok;
    };
    std::map<std::pair<uint64_t, uint32_t>, TrayRecord> icons;
    std::vector<Call> calls;
    std::function<void(float)> callback;

    bool ShellNotifyIcon(int action, const TrayRecord& r) override {
        auto key = std::make_pair(r.hWnd, r.uID);
        bool ok = false;
        if (action == kAdd && !icons.count(key)) {
            icons[key] = r;
            ok = true;
        } else if (action == kDelete && icons.count(key)) {
            icons.erase(key);
            ok = true;
        } else if (action == kModify && icons.count(key)) {
            icons[key] = r;
            ok = true;
        }
        calls.push_back({action, r.hIcon, ok});
        return ok;
    }
    void SetCallback(std::function<void(float)> f) override { callback = std::move(f); }

    // The icon shown now, or None when absent.
    IconId Shown() const { return icons.empty() ? IconId::None : icons.begin()->second.hIcon; }
    // Simulates a mouse message on the icon (515 = left double-click).
    void Mouse(int message) {
        if (callback) callback(float(message) * 15.0f);
    }
};

}  // namespace rm
