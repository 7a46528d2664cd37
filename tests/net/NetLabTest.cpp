// The Linux network layer for real, inside the lab that scripts/netlab.sh builds
// around this binary (ctest runs it as `netlab.sh run ...`). Outside a lab every
// test skips: nothing here may probe the machine's own network.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QStringList>
#include <array>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "helper/LabForger.h"
#include "core/AddressText.h"
#include "core/ArpProbe.h"
#include "core/HostName.h"
#include "core/LocalAddressTable.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/linux/LinuxArpResolver.h"
#include "platform/linux/LinuxPlatform.h"

namespace rm {
namespace {

using Path = LinuxArpResolver::Path;

QString Env(const char* name) {
    return QString::fromLocal8Bit(qgetenv(name));
}

struct LabHost {
    QString ip, mac;
};

std::vector<LabHost> Hosts() {
    std::vector<LabHost> out;
    for (const QString& pair : Env("RM_LAB_HOSTS").split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = pair.split(QLatin1Char('='));
        if (parts.size() == 2) out.push_back({parts[0], parts[1]});
    }
    return out;
}

// Runs a command of the lab script (leave, join, ...) or `ip` in the scanner namespace.
void Lab(const QString& args) {
    const QString cmd = Env("RM_LAB_SCRIPT") + QLatin1Char(' ') + args.arg(Env("RM_LAB_NAME"));
    ASSERT_EQ(std::system(cmd.toLocal8Bit().constData()), 0) << cmd.toStdString();
}

void Ip(const char* args) {
    const std::string cmd = std::string("ip ") + args;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

class NetLab : public ::testing::Test {
  protected:
    void SetUp() override {
        if (Env("RM_LAB_NAME").isEmpty() || Hosts().size() < 3)
            GTEST_SKIP() << "not inside a network lab of 3+ hosts (run through scripts/netlab.sh)";
        prefix = Env("RM_LAB_PREFIX");
        absent = prefix + QStringLiteral("99");
    }
    QString prefix, absent;
};

TEST_F(NetLab, BothPathsGiveEveryHostsExactMac) {
    for (Path path : {Path::Raw, Path::Kernel}) {
        LinuxArpResolver arp(path);
        EXPECT_EQ(arp.ActivePath(), path);
        EXPECT_EQ(ProbeMac(arp, Env("RM_LAB_ROUTER_IP")), Env("RM_LAB_ROUTER_MAC"));
        for (const LabHost& h : Hosts())
            EXPECT_EQ(ProbeMac(arp, h.ip), h.mac) << h.ip.toStdString();
    }
}

TEST_F(NetLab, AbsentHostIsFalseWithinTheTimeLimit) {
    for (Path path : {Path::Raw, Path::Kernel}) {
        LinuxArpResolver arp(path);
        QElapsedTimer t;
        t.start();
        EXPECT_EQ(ProbeMac(arp, absent), QStringLiteral("False"));
        // The window must never wait long: the limit is 1 s, with room for a busy machine.
        EXPECT_LT(t.elapsed(), 1600);
    }
}

TEST_F(NetLab, OwnAddressAnswersWithOwnAdapter) {
    for (Path path : {Path::Raw, Path::Kernel}) {
        LinuxArpResolver arp(path);
        EXPECT_EQ(ProbeMac(arp, Env("RM_LAB_SCANNER_IP")), Env("RM_LAB_SCANNER_MAC"));
        // Loopback's hardware address is all zeros: no answer.
        EXPECT_EQ(ProbeMac(arp, QStringLiteral("127.0.0.1")), QStringLiteral("False"));
    }
}

TEST_F(NetLab, DepartedHostIsFalseOnTheRawPathAndBackAfterJoining) {
    const LabHost h = Hosts()[1];
    LinuxArpResolver arp(Path::Raw);
    ASSERT_EQ(ProbeMac(arp, h.ip), h.mac);
    Lab(QStringLiteral("leave %1 h2"));
    EXPECT_EQ(ProbeMac(arp, h.ip), QStringLiteral("False"));
    Lab(QStringLiteral("join %1 h2"));
    EXPECT_EQ(ProbeMac(arp, h.ip), h.mac);
}

// An entry gone STALE (no traffic for half a minute) must be confirmed afresh.
TEST_F(NetLab, KernelPathConfirmsStaleEntries) {
    const LabHost h = Hosts()[2];
    QString mac = h.mac;
    mac.replace(QLatin1Char('-'), QLatin1Char(':'));
    const QString stale = QStringLiteral("neigh replace %1 lladdr %2 dev %3 nud stale")
                              .arg(h.ip, mac, Env("RM_LAB_IFACE"));
    LinuxArpResolver arp(Path::Kernel);
    Ip(stale.toLatin1().constData());
    EXPECT_EQ(ProbeMac(arp, h.ip), h.mac);

    Lab(QStringLiteral("leave %1 h3"));
    Ip(stale.toLatin1().constData());
    EXPECT_EQ(ProbeMac(arp, h.ip), QStringLiteral("False"));
    Lab(QStringLiteral("join %1 h3"));
}

TEST_F(NetLab, AnyTextIsSafeAndQuick) {
    LinuxArpResolver arp(Path::Auto);
    const QString inputs[] = {QString(),
                              QStringLiteral("abc"),
                              QStringLiteral("999.1.1.1"),
                              QStringLiteral("192.168."),
                              QStringLiteral("255.255.255.255"),
                              QStringLiteral("224.0.0.1"),
                              QStringLiteral("8.8.8.8"),  // off-link: nobody here can answer
                              QString(100 * 1024, QLatin1Char('1')),
                              QStringLiteral("网监视.1.1")};
    QElapsedTimer t;
    t.start();
    for (const QString& in : inputs) EXPECT_EQ(ProbeMac(arp, in), QStringLiteral("False"));
    EXPECT_LT(t.elapsed(), 1000);  // none of these waits for an answer
}

// A liar in host 2's namespace answers for an absent address; none of these
// replies proves itself, so the probe hears nothing.
TEST_F(NetLab, RawPathTakesOnlyRepliesThatProveThemselves) {
    const uint32_t asked = InetAddr(absent);
    const uint32_t me = InetAddr(Env("RM_LAB_SCANNER_IP"));
    const MacAddress myMac = *lab::MacOfText(Env("RM_LAB_SCANNER_MAC").toStdString());
    const MacAddress liar{0x02, 0x52, 0x4d, 0x00, 0xAA, 0x99};
    const MacAddress stranger{0x02, 0x52, 0x4d, 0x00, 0xBB, 0xBB};  // unknown to the bridge
    const lab::ForgedFrame proper{myMac, liar, liar, asked, me};
    std::vector<std::vector<uint8_t>> forged;
    auto add = [&](auto change) {
        lab::ForgedFrame f = proper;
        change(f);
        forged.push_back(f.Bytes());
    };
    add([&](auto& f) { f.senderMac = stranger; });  // Ethernet source is not the sender
    add([&](auto& f) { f.ethDst = stranger; });     // for another machine, flooded to us
    add([&](auto& f) { f.ethDst = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}; });
    add([&](auto& f) { f.targetIp = InetAddr(prefix + QStringLiteral("98")); });
    add([&](auto& f) { f.op = 1; });
    add([&](auto& f) { f.senderIp = InetAddr(prefix + QStringLiteral("98")); });
    const std::string host2 = Env("RM_LAB_NAME").toStdString() + "-h2";
    LinuxArpResolver arp(Path::Raw);
    pid_t child = lab::SendFrom(host2, forged, 1300);
    EXPECT_EQ(ProbeMac(arp, absent), QStringLiteral("False"));
    ASSERT_EQ(lab::Reap(child), 0);

    // The same liar with a reply that does prove itself is taken: the checks
    // are not just deaf.
    child = lab::SendFrom(host2, {proper.Bytes()}, 400);
    EXPECT_EQ(ProbeMac(arp, absent), QStringLiteral("02-52-4D-00-AA-99"));
    ASSERT_EQ(lab::Reap(child), 0);
}

// Without router-monitor-arp (or where it may not run) the probe falls back to
// the kernel's table and still answers.
TEST_F(NetLab, WithoutTheHelperAutoFallsBackToTheKernelTable) {
    LinuxArpResolver arp(Path::Auto, std::chrono::milliseconds(1000), "/nonexistent/helper");
    EXPECT_EQ(ProbeMac(arp, Hosts()[0].ip), Hosts()[0].mac);
    EXPECT_EQ(arp.ActivePath(), Path::Kernel);
    LinuxArpResolver raw(Path::Raw, std::chrono::milliseconds(1000), "/nonexistent/helper");
    EXPECT_EQ(ProbeMac(raw, Hosts()[0].ip), QStringLiteral("False"));
    LinuxArpResolver helped(Path::Auto);
    EXPECT_EQ(ProbeMac(helped, Hosts()[0].ip), Hosts()[0].mac);
    EXPECT_EQ(helped.ActivePath(), Path::Raw);
}

// The scanner namespace gets a second network (vx0, 10.99.0.5/24) for these tests.
class NetLabRoutes : public NetLab {
  protected:
    void SetUp() override {
        NetLab::SetUp();
        if (IsSkipped()) return;
        Ip("link add vx0 type veth peer name vx1");
        Ip("addr add 10.99.0.5/24 dev vx0");
        Ip("link set vx1 up");
        Ip("link set vx0 up");
    }
    void TearDown() override {
        if (IsSkipped()) return;
        std::system("ip link del vx0 2>/dev/null");
        const std::string route =
            "ip route replace default via " + Env("RM_LAB_ROUTER_IP").toStdString();
        std::system(route.c_str());
    }
    static QStringList Prefixes() {
        auto table = MakeLinuxAddressTable();
        QComboBox combo;
        ListLocalPrefixes(*table, &combo);
        QStringList out;
        for (int i = 0; i < combo.count(); ++i) out << combo.itemText(i);
        if (combo.currentIndex() != 0) out << QStringLiteral("<entry 0 not selected>");
        return out;
    }
};

TEST_F(NetLabRoutes, AddressTableListsDefaultRouteFirstAndLoopbackLast) {
    EXPECT_EQ(Prefixes(), (QStringList{prefix, "10.99.0.", "127.0.0."}));
    Ip("route replace default via 10.99.0.1 dev vx0");
    EXPECT_EQ(Prefixes(), (QStringList{"10.99.0.", prefix, "127.0.0."}));
    Ip("route del default");
    EXPECT_EQ(Prefixes(), (QStringList{prefix, "10.99.0.", "127.0.0."}));
}

TEST_F(NetLabRoutes, SortedTableIsInAddressOrder) {
    auto table = MakeLinuxAddressTable();
    uint32_t size = 0;
    EXPECT_EQ(table->GetIpAddrTable(nullptr, &size, true), AddressTable::kInsufficientBuffer);
    ASSERT_EQ(size, 4 + 3 * AddressTable::kRowSize);
    std::vector<uint8_t> buf(size);
    ASSERT_EQ(table->GetIpAddrTable(buf.data(), &size, true), 0u);
    QStringList rows;
    for (int i = 0; i < 3; ++i) rows << Ipv4ToText(buf.data() + 4 + AddressTable::kRowSize * i);
    EXPECT_EQ(rows, (QStringList{Env("RM_LAB_SCANNER_IP"), "10.99.0.5", "127.0.0.1"}));
}

TEST_F(NetLabRoutes, LocalAddressFollowsTheDefaultRoute) {
    auto local = MakeLinuxLocalAddress();
    EXPECT_EQ(local->LocalIp(), Env("RM_LAB_SCANNER_IP"));
    Ip("route replace default via 10.99.0.1 dev vx0");
    EXPECT_EQ(local->LocalIp(), QStringLiteral("10.99.0.5"));
    Ip("route del default");
    Ip("link set vx0 down");  // the first address that is not loopback, whatever its state
    EXPECT_EQ(local->LocalIp(), Env("RM_LAB_SCANNER_IP"));
}

TEST_F(NetLab, HostNamesComeFromTheLabsHostsFile) {
    // Appended in place: `ip netns exec` shows this very file as /etc/hosts.
    const std::string path = "/etc/netns/" + Env("RM_LAB_NAME").toStdString() + "-scan/hosts";
    const std::string longName(300, 'n');
    {
        std::ofstream hosts(path, std::ios::app);
        ASSERT_TRUE(hosts) << path;
        hosts << prefix.toStdString() << "77 " << longName << "\n";
    }
    auto sockets = MakeLinuxSocketLibrary();
    FakeMessageBoxes boxes;
    EXPECT_EQ(LookupHostName(*sockets, boxes, Hosts()[0].ip), QStringLiteral("netlab-h1"));
    EXPECT_EQ(LookupHostName(*sockets, boxes, Env("RM_LAB_ROUTER_IP")),
              QStringLiteral("netlab-router"));
    EXPECT_EQ(LookupHostName(*sockets, boxes, prefix + QStringLiteral("77")),
              QString(255, QLatin1Char('n')));
    EXPECT_EQ(LookupHostName(*sockets, boxes, absent), QString());
    EXPECT_EQ(LookupHostName(*sockets, boxes, QStringLiteral("192.168.")), QString());
    EXPECT_TRUE(boxes.shown.empty());
    // Every lookup released the library it started: one more cleanup is an error.
    EXPECT_NE(sockets->WsaCleanup(), 0);
}

TEST_F(NetLab, HostNameLookupGivesUpWithinASecond) {
    // A name server that never answers (nobody has that address): the resolver
    // alone would wait seconds per try. The file is rewritten in place, since
    // `ip netns exec` shows this very inode as /etc/resolv.conf.
    const std::string path = "/etc/netns/" + Env("RM_LAB_NAME").toStdString() + "-scan/resolv.conf";
    std::string saved;
    {
        std::ifstream in(path);
        ASSERT_TRUE(in) << path;
        saved.assign(std::istreambuf_iterator<char>(in), {});
    }
    auto restore = [&] { std::ofstream(path, std::ios::trunc) << saved; };
    std::ofstream(path, std::ios::trunc)
        << "nameserver " << prefix.toStdString() << "250\noptions timeout:3 attempts:2\n";
    auto sockets = MakeLinuxSocketLibrary();
    FakeMessageBoxes boxes;
    QElapsedTimer t;
    t.start();
    const QString name = LookupHostName(*sockets, boxes, prefix + QStringLiteral("98"));
    const qint64 elapsed = t.elapsed();
    restore();
    EXPECT_EQ(name, QString());
    EXPECT_LT(elapsed, 1600);
    EXPECT_TRUE(boxes.shown.empty());
    // Names the hosts file knows still come at once afterwards.
    EXPECT_EQ(LookupHostName(*sockets, boxes, Hosts()[0].ip), QStringLiteral("netlab-h1"));
}

}  // namespace
}  // namespace rm
