// The window's logic on a fake window wired to fakes of every outside service,
// as the monitor tests use it: this machine 192.168.1.20 on 192.168.1.0/24, a
// router at .1 that answers, and a clock that moves only when the code under
// test sleeps. No toolkit is linked.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/Monitor.h"
#include "core/Tray.h"
#include "platform/fake/FakeForm1.h"
#include "platform/fake/FakeServices.h"

namespace rm::test {

inline const std::string kOwnMac = "00-1A-2B-3C-4D-5E";
inline const std::string kRouterMac = "00-AA-BB-CC-DD-01";
inline const std::string kOtherRouterMac = "00-AA-BB-CC-DD-02";

// One line of the range scanner for a host, in the scanner's own form.
inline std::string Line(int host, const std::string& mac) {
    return "192.168.1." + std::to_string(host) + "  " + mac;
}

class MonitorFixture : public ::testing::Test, protected FakeServices {
  protected:
    std::unique_ptr<Monitor> monitor;
    FakeForm1* form = nullptr;

    void SetUp() override {
        addresses.SetAddresses({"192.168.1.20"});
        localAddress.ip = "192.168.1.20";
        arp.Set("192.168.1.20", {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
        SetRouter({0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x01});
        monitor = std::make_unique<Monitor>(services, [this](Form1Events&) {
            auto f = std::make_unique<FakeForm1>();
            form = f.get();
            return f;
        });
        // As start-up leaves it: the router row filled, the icon in the tray.
        (*form)[Control::Text1].text = kRouterMac;
        AddTrayIcon(*monitor, IconId::Window);
        tray.calls.clear();
    }

    void SetRouter(std::vector<uint8_t> mac) { arp.Set("192.168.1.1", std::move(mac)); }

    FakeControl& operator[](Control c) { return (*form)[c]; }
    MonitorState& state() { return monitor->state; }
    std::vector<std::string> Entries() { return form->Items(Control::List1); }
    std::string TextOf(Control c) { return form->Text(c); }
    void Set(Control c, const std::string& text) { (*form)[c].text = text; }
    void Tick(Control box, CheckState s) { (*form)[box].check = s; }

    // The download manager under the monitor's control.
    void ControlDownloadManager() {
        Tick(Control::Check2, CheckState::Ticked);
        (*form)[Control::Text15].text = "/opt/thunder/Thunder 5";
        (*form)[Control::Text14].text = "迅雷";
        windows.windows[7] = "迅雷5 - 下载";
        windows.windows[8] = "Editor";
    }
};

}  // namespace rm::test
