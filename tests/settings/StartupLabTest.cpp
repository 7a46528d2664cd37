// Start-up on the real Linux network layer inside the lab that netlab.sh builds
// around this binary: the router row with the lab's router answering and gone.
// Outside a lab every test skips: nothing here may probe the machine's network.
#include <QFile>
#include <QStringList>
#include <cstdlib>

#include "core/Startup.h"
#include "platform/linux/LinuxPlatform.h"
#include "settings/SettingsFixture.h"

namespace rm {
namespace {

QString Env(const char* name) {
    return QString::fromLocal8Bit(qgetenv(name));
}

// Runs a command of the lab script with the lab's name, e.g. "leave %1 r".
int Lab(const QString& args) {
    const QString cmd = Env("RM_LAB_SCRIPT") + QLatin1Char(' ') + args.arg(Env("RM_LAB_NAME"));
    return std::system(cmd.toLocal8Bit().constData());
}

class StartupLabTest : public SettingsFixture {
  protected:
    void SetUp() override {
        if (Env("RM_LAB_NAME").isEmpty()) GTEST_SKIP() << "not inside the network lab";
        realArp = MakeLinuxArpResolver();
        realAddresses = MakeLinuxAddressTable();
        realSockets = MakeLinuxSocketLibrary();
        realLocal = MakeLinuxLocalAddress();
        services.arp = realArp.get();
        services.addresses = realAddresses.get();
        services.sockets = realSockets.get();
        services.localAddress = realLocal.get();
        form = std::make_unique<Form1>(services);
    }

    std::unique_ptr<ArpResolver> realArp;
    std::unique_ptr<AddressTable> realAddresses;
    std::unique_ptr<SocketLibrary> realSockets;
    std::unique_ptr<LocalAddress> realLocal;
};

TEST_F(StartupLabTest, TheAnsweringRouterFillsItsRow) {
    // The lab's names file is this namespace's /etc/hosts: the own address gets
    // the first name listed for it there, or one of ours when it has none.
    QFile hosts(QStringLiteral("/etc/netns/%1-scan/hosts").arg(Env("RM_LAB_NAME")));
    ASSERT_TRUE(hosts.open(QIODevice::ReadWrite | QIODevice::Append));
    hosts.seek(0);
    QString ownName;
    for (const QByteArray& line : hosts.readAll().split('\n')) {
        const QStringList f = QString::fromLatin1(line).simplified().split(QLatin1Char(' '));
        if (ownName.isEmpty() && f.size() > 1 && f[0] == Env("RM_LAB_SCANNER_IP")) ownName = f[1];
    }
    if (ownName.isEmpty()) {
        ownName = QStringLiteral("netlab-self");
        hosts.write(
            (Env("RM_LAB_SCANNER_IP") + QLatin1Char(' ') + ownName + QLatin1Char('\n')).toLatin1());
    }
    hosts.close();

    ASSERT_TRUE(FormLoad(*form));

    EXPECT_EQ(form->Combo1->currentText(), Env("RM_LAB_PREFIX"));
    EXPECT_EQ(form->Text5->text(), Env("RM_LAB_SCANNER_IP"));
    EXPECT_EQ(form->Text4->text(), Env("RM_LAB_SCANNER_MAC"));
    EXPECT_EQ(form->Text6->text(), ownName);
    EXPECT_EQ(form->Text1->text(), Env("RM_LAB_ROUTER_MAC"));
    EXPECT_EQ(form->Text2->text(), Env("RM_LAB_ROUTER_IP"));
    EXPECT_EQ(form->Text3->text(), QStringLiteral("路由器"));
    EXPECT_EQ(tray.Shown(), IconId::Window);
}

TEST_F(StartupLabTest, ASilentRouterLeavesThePlaceholders) {
    ASSERT_EQ(Lab(QStringLiteral("leave %1 r")), 0);
    const bool loaded = FormLoad(*form);
    EXPECT_EQ(Lab(QStringLiteral("join %1 r")), 0);

    ASSERT_TRUE(loaded);
    EXPECT_EQ(form->Text1->text(), QStringLiteral("Text1"));
    EXPECT_EQ(form->Text2->text(), QStringLiteral("Text2"));
    EXPECT_EQ(form->Text3->text(), QStringLiteral("Text3"));
    EXPECT_EQ(form->Text5->text(), Env("RM_LAB_SCANNER_IP"));  // the own row still fills
    EXPECT_EQ(tray.Shown(), IconId::Window);
}

}  // namespace
}  // namespace rm
