// A Form1 wired to fakes of every outside service, as the monitor tests use it:
// this machine 192.168.1.20 on 192.168.1.0/24, a router at .1 that answers, and
// a clock that moves only when the code under test sleeps.
#pragma once

#include <gtest/gtest.h>

#include <QListWidget>
#include <QStringList>
#include <memory>
#include <ostream>

#include "app/Form1.h"
#include "core/Tray.h"
#include "platform/fake/FakeServices.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace rm::test {

inline const QString kOwnMac = QStringLiteral("00-1A-2B-3C-4D-5E");
inline const QString kRouterMac = QStringLiteral("00-AA-BB-CC-DD-01");
inline const QString kOtherRouterMac = QStringLiteral("00-AA-BB-CC-DD-02");

// One line of the range scanner for a host, in the scanner's own form.
inline QString Line(int host, const QString& mac) {
    return QStringLiteral("192.168.1.%1  %2").arg(host).arg(mac);
}

class MonitorFixture : public ::testing::Test, protected FakeServices {
  protected:
    std::unique_ptr<Form1> form;

    void SetUp() override {
        addresses.SetAddresses({"192.168.1.20"});
        localAddress.ip = QStringLiteral("192.168.1.20");
        arp.Set("192.168.1.20", {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
        SetRouter({0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x01});
        form = std::make_unique<Form1>(services);
        // As start-up leaves it: the router row filled, the icon in the tray.
        form->Text1->setText(kRouterMac);
        AddTrayIcon(*form, IconId::Window);
        tray.calls.clear();
    }

    void SetRouter(std::vector<uint8_t> mac) { arp.Set("192.168.1.1", std::move(mac)); }

    QStringList Entries() const {
        QStringList out;
        for (int i = 0; i < form->List1->count(); ++i) out << form->List1->item(i)->text();
        return out;
    }

    // The download manager under the monitor's control.
    void ControlDownloadManager() {
        form->Check2->setCheckState(Qt::Checked);
        form->Text15->setText(QStringLiteral("/opt/thunder/Thunder 5"));
        form->Text14->setText(QStringLiteral("迅雷"));
        windows.windows[7] = QStringLiteral("迅雷5 - 下载");
        windows.windows[8] = QStringLiteral("Editor");
    }
};

}  // namespace rm::test
