// The monitor cycle on a real network: inside the network lab (netlab.sh run,
// which builds the namespaces and tears them down), with the real ARP resolver,
// address table, name lookup and range scanner. Two hosts are present, then gone.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QProcess>
#include <memory>

#include "core/Monitor.h"
#include "core/MonitorCycle.h"
#include "core/Tray.h"
#include "gui/qt/Form1.h"
#include "gui/qt/QtFrontEnd.h"
#include "platform/fake/FakeServices.h"
#include "platform/linux/LinuxPlatform.h"
#include "scanner/ArpRangeScanner.h"

namespace rm::test {
namespace {

QString Env(const char* name) {
    return qEnvironmentVariable(name);
}

class MonitorLabTest : public ::testing::Test, protected FakeServices {
  protected:
    void SetUp() override {
        if (Env("RM_LAB_NAME").isEmpty()) GTEST_SKIP() << "runs only inside netlab.sh run";
        realArp = MakeLinuxArpResolver();
        realAddresses = MakeLinuxAddressTable();
        realSockets = MakeLinuxSocketLibrary();
        realLocalAddress = MakeLinuxLocalAddress();
        realScanner = MakeArpRangeScanner();
        realClock = MakeQtClock();
        services.arp = realArp.get();
        services.addresses = realAddresses.get();
        services.sockets = realSockets.get();
        services.localAddress = realLocalAddress.get();
        services.scanner = realScanner.get();
        services.clock = realClock.get();
        monitor = std::make_unique<Monitor>(services, [this](Form1Events& events) {
            auto f = std::make_unique<Form1>(events);
            form = f.get();
            return f;
        });
        AddTrayIcon(*monitor, IconId::Window);
    }

    // Runs the lab script on our own lab (its hosts leave or join).
    static void Lab(const QStringList& args) {
        QProcess p;
        p.start(Env("RM_LAB_SCRIPT"), QStringList{args.first(), Env("RM_LAB_NAME")} + args.mid(1));
        ASSERT_TRUE(p.waitForFinished(20000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    }

    QStringList Entries() const {
        QStringList out;
        for (int i = 0; i < form->List1->count(); ++i) out << form->List1->item(i)->text();
        return out;
    }

    std::unique_ptr<ArpResolver> realArp;
    std::unique_ptr<AddressTable> realAddresses;
    std::unique_ptr<SocketLibrary> realSockets;
    std::unique_ptr<LocalAddress> realLocalAddress;
    std::unique_ptr<RangeScanner> realScanner;
    std::unique_ptr<Clock> realClock;
    std::unique_ptr<Monitor> monitor;
    Form1* form = nullptr;
};

TEST_F(MonitorLabTest, CountsTwoHostsThenNoneAfterTheyLeave) {
    const QString prefix = Env("RM_LAB_PREFIX");
    const QString routerMac = Env("RM_LAB_ROUTER_MAC");
    QStringList hostMacs;
    for (const QString& pair : Env("RM_LAB_HOSTS").split(' ', Qt::SkipEmptyParts))
        hostMacs << pair.section('=', 1);
    ASSERT_EQ(hostMacs.size(), 2);

    form->Text8->setText(QStringLiteral("0"));  // a scan on every tick
    monitor->Command1Click();
    MonitorTick(*monitor);

    EXPECT_EQ(form->Text5->text(), Env("RM_LAB_SCANNER_IP"));
    EXPECT_EQ(form->Text4->text(), Env("RM_LAB_SCANNER_MAC"));
    EXPECT_EQ(form->Text1->text(), routerMac);
    EXPECT_EQ(form->Text2->text(), prefix + QStringLiteral("1"));
    EXPECT_EQ(form->Text3->text(), QStringLiteral("路由器"));
    EXPECT_EQ(form->Label11->text(), QStringLiteral("注意！有2台计算机在网络"));
    EXPECT_EQ(form->Label15->text(), QStringLiteral("危险"));
    const QStringList found = Entries();
    ASSERT_EQ(found.size(), 2) << found.join('\n').toStdString();
    for (const QString& mac : hostMacs) EXPECT_EQ(found.filter(mac).size(), 1) << mac.toStdString();

    Lab({QStringLiteral("leave"), QStringLiteral("h1")});
    Lab({QStringLiteral("leave"), QStringLiteral("h2")});
    MonitorTick(*monitor);  // ten sweeps that find nobody

    EXPECT_EQ(form->Label11->text(), QStringLiteral("注意！有0台计算机在网络"));
    EXPECT_EQ(form->List1->count(), 0);
    EXPECT_EQ(form->Label15->text(), QStringLiteral("安全"));
    EXPECT_EQ(form->Text1->text(), routerMac);
    EXPECT_EQ(tray.Shown(), IconId::Window);
}

}  // namespace
}  // namespace rm::test
