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

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/AddressText.h"
#include "core/ArpProbe.h"
#include "core/HostName.h"
#include "core/LocalAddressTable.h"
#include "helper/LabForger.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeForm1.h"
#include "platform/linux/LinuxArpResolver.h"
#include "platform/linux/LinuxPlatform.h"

namespace rm {
namespace {

using Path = LinuxArpResolver::Path;

using Strings = std::vector<std::string>;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// Milliseconds on a steady clock since `start`.
long long MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

struct LabHost {
    std::string ip, mac;
};

std::vector<LabHost> Hosts() {
    std::vector<LabHost> out;
    std::istringstream pairs(Env("RM_LAB_HOSTS"));
    std::string pair;
    while (pairs >> pair) {
        const size_t eq = pair.find('=');
        if (eq != std::string::npos && pair.find('=', eq + 1) == std::string::npos)
            out.push_back({pair.substr(0, eq), pair.substr(eq + 1)});
    }
    return out;
}

// Runs a command of the lab script (leave, join, ...) on the lab this test runs in.
void Lab(const std::string& command, const std::string& host) {
    const std::string cmd =
        Env("RM_LAB_SCRIPT") + " " + command + " " + Env("RM_LAB_NAME") + " " + host;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

void Ip(const char* args) {
    const std::string cmd = std::string("ip ") + args;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

class NetLab : public ::testing::Test {
  protected:
    void SetUp() override {
        if (Env("RM_LAB_NAME").empty() || Hosts().size() < 3)
            GTEST_SKIP() << "not inside a network lab of 3+ hosts (run through scripts/netlab.sh)";
        prefix = Env("RM_LAB_PREFIX");
        absent = prefix + "99";
    }
    std::string prefix, absent;
};

TEST_F(NetLab, BothPathsGiveEveryHostsExactMac) {
    for (Path path : {Path::Raw, Path::Kernel}) {
        LinuxArpResolver arp(path);
        EXPECT_EQ(arp.ActivePath(), path);
        EXPECT_EQ(ProbeMac(arp, Env("RM_LAB_ROUTER_IP")), Env("RM_LAB_ROUTER_MAC"));
        for (const LabHost& h : Hosts()) EXPECT_EQ(ProbeMac(arp, h.ip), h.mac) << h.ip;
    }
}

TEST_F(NetLab, AbsentHostIsFalseWithinTheTimeLimit) {
    for (Path path : {Path::Raw, Path::Kernel}) {
        LinuxArpResolver arp(path);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ProbeMac(arp, absent), "False");
        // The window must never wait long: the limit is 1 s, with room for a busy machine.
        EXPECT_LT(MsSince(start), 1600);
    }
}

TEST_F(NetLab, OwnAddressAnswersWithOwnAdapter) {
    for (Path path : {Path::Raw, Path::Kernel}) {
        LinuxArpResolver arp(path);
        EXPECT_EQ(ProbeMac(arp, Env("RM_LAB_SCANNER_IP")), Env("RM_LAB_SCANNER_MAC"));
        // Loopback's hardware address is all zeros: no answer.
        EXPECT_EQ(ProbeMac(arp, "127.0.0.1"), "False");
    }
}

TEST_F(NetLab, DepartedHostIsFalseOnTheRawPathAndBackAfterJoining) {
    const LabHost h = Hosts()[1];
    LinuxArpResolver arp(Path::Raw);
    ASSERT_EQ(ProbeMac(arp, h.ip), h.mac);
    Lab("leave", "h2");
    EXPECT_EQ(ProbeMac(arp, h.ip), "False");
    Lab("join", "h2");
    EXPECT_EQ(ProbeMac(arp, h.ip), h.mac);
}

// An entry gone STALE (no traffic for half a minute) must be confirmed afresh.
TEST_F(NetLab, KernelPathConfirmsStaleEntries) {
    const LabHost h = Hosts()[2];
    std::string mac = h.mac;
    std::replace(mac.begin(), mac.end(), '-', ':');
    const std::string stale =
        "neigh replace " + h.ip + " lladdr " + mac + " dev " + Env("RM_LAB_IFACE") + " nud stale";
    LinuxArpResolver arp(Path::Kernel);
    Ip(stale.c_str());
    EXPECT_EQ(ProbeMac(arp, h.ip), h.mac);

    Lab("leave", "h3");
    Ip(stale.c_str());
    EXPECT_EQ(ProbeMac(arp, h.ip), "False");
    Lab("join", "h3");
}

TEST_F(NetLab, AnyTextIsSafeAndQuick) {
    LinuxArpResolver arp(Path::Auto);
    const std::string inputs[] = {std::string(),
                                  "abc",
                                  "999.1.1.1",
                                  "192.168.",
                                  "255.255.255.255",
                                  "224.0.0.1",
                                  "8.8.8.8",  // off-link: nobody here can answer
                                  std::string(100 * 1024, '1'),
                                  "网监视.1.1"};
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& in : inputs) EXPECT_EQ(ProbeMac(arp, in), "False");
    EXPECT_LT(MsSince(start), 1000);  // none of these waits for an answer
}

// A liar in host 2's namespace answers for an absent address; none of these
// replies proves itself, so the probe hears nothing.
TEST_F(NetLab, RawPathTakesOnlyRepliesThatProveThemselves) {
    const uint32_t asked = InetAddr(absent);
    const uint32_t me = InetAddr(Env("RM_LAB_SCANNER_IP"));
    const MacAddress myMac = *lab::MacOfText(Env("RM_LAB_SCANNER_MAC"));
    const MacAddress liar{0x02, 0x52, 0x4d, 0x00, 0xAA, 0x99};
    const MacAddress stranger{0x02, 0x52, 0x4d, 0x00, 0xBB, 0xBB};  // unknown to the bridge
    lab::ForgedFrame proper{myMac, liar, liar, asked, me};
    proper.targetMac = myMac;
    std::vector<std::vector<uint8_t>> forged;
    auto add = [&](auto change) {
        lab::ForgedFrame f = proper;
        change(f);
        forged.push_back(f.Bytes());
    };
    add([&](auto& f) { f.senderMac = stranger; });  // Ethernet source is not the sender
    add([&](auto& f) { f.ethDst = stranger; });     // for another machine, flooded to us
    add([&](auto& f) { f.ethDst = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}; });
    add([&](auto& f) { f.targetIp = InetAddr(prefix + "98"); });
    add([&](auto& f) { f.op = 1; });
    add([&](auto& f) { f.senderIp = InetAddr(prefix + "98"); });
    add([&](auto& f) { f.targetMac = stranger; });  // meant for another machine's MAC
    const std::string host2 = Env("RM_LAB_NAME") + "-h2";
    LinuxArpResolver arp(Path::Raw);
    pid_t child = lab::SendFrom(host2, forged, 1300);
    EXPECT_EQ(ProbeMac(arp, absent), "False");
    ASSERT_EQ(lab::Reap(child), 0);

    // The same liar with a reply that does prove itself is taken: the checks
    // are not just deaf.
    child = lab::SendFrom(host2, {proper.Bytes()}, 400);
    EXPECT_EQ(ProbeMac(arp, absent), "02-52-4D-00-AA-99");
    ASSERT_EQ(lab::Reap(child), 0);
}

// Without router-monitor-arp (or where it may not run) the probe falls back to
// the kernel's table and still answers.
TEST_F(NetLab, WithoutTheHelperAutoFallsBackToTheKernelTable) {
    LinuxArpResolver arp(Path::Auto, std::chrono::milliseconds(1000), "/nonexistent/helper");
    EXPECT_EQ(ProbeMac(arp, Hosts()[0].ip), Hosts()[0].mac);
    EXPECT_EQ(arp.ActivePath(), Path::Kernel);
    LinuxArpResolver raw(Path::Raw, std::chrono::milliseconds(1000), "/nonexistent/helper");
    EXPECT_EQ(ProbeMac(raw, Hosts()[0].ip), "False");
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
        const std::string route = "ip route replace default via " + Env("RM_LAB_ROUTER_IP");
        std::system(route.c_str());
    }
    // Combo1's items after ListLocalPrefixes, with a note when the first is not selected.
    static Strings Prefixes() {
        auto table = MakeLinuxAddressTable();
        FakeForm1 form;
        ListLocalPrefixes(*table, form);
        Strings out = form.Items(Control::Combo1);
        if (form.ListIndex(Control::Combo1) != 0) out.push_back("<entry 0 not selected>");
        return out;
    }
};

TEST_F(NetLabRoutes, AddressTableListsDefaultRouteFirstAndLoopbackLast) {
    EXPECT_EQ(Prefixes(), (Strings{prefix, "10.99.0.", "127.0.0."}));
    Ip("route replace default via 10.99.0.1 dev vx0");
    EXPECT_EQ(Prefixes(), (Strings{"10.99.0.", prefix, "127.0.0."}));
    Ip("route del default");
    EXPECT_EQ(Prefixes(), (Strings{prefix, "10.99.0.", "127.0.0."}));
}

TEST_F(NetLabRoutes, SortedTableIsInAddressOrder) {
    auto table = MakeLinuxAddressTable();
    uint32_t size = 0;
    EXPECT_EQ(table->GetIpAddrTable(nullptr, &size, true), AddressTable::kInsufficientBuffer);
    ASSERT_EQ(size, 4 + 3 * AddressTable::kRowSize);
    std::vector<uint8_t> buf(size);
    ASSERT_EQ(table->GetIpAddrTable(buf.data(), &size, true), 0u);
    Strings rows;
    for (int i = 0; i < 3; ++i)
        rows.push_back(Ipv4ToText(buf.data() + 4 + AddressTable::kRowSize * i));
    EXPECT_EQ(rows, (Strings{Env("RM_LAB_SCANNER_IP"), "10.99.0.5", "127.0.0.1"}));
}

TEST_F(NetLabRoutes, LocalAddressFollowsTheDefaultRoute) {
    auto local = MakeLinuxLocalAddress();
    EXPECT_EQ(local->LocalIp(), Env("RM_LAB_SCANNER_IP"));
    Ip("route replace default via 10.99.0.1 dev vx0");
    EXPECT_EQ(local->LocalIp(), "10.99.0.5");
    Ip("route del default");
    Ip("link set vx0 down");  // the first address that is not loopback, whatever its state
    EXPECT_EQ(local->LocalIp(), Env("RM_LAB_SCANNER_IP"));
}

TEST_F(NetLab, HostNamesComeFromTheLabsHostsFile) {
    // Appended in place: `ip netns exec` shows this very file as /etc/hosts.
    const std::string path = "/etc/netns/" + Env("RM_LAB_NAME") + "-scan/hosts";
    const std::string longName(300, 'n');
    {
        std::ofstream hosts(path, std::ios::app);
        ASSERT_TRUE(hosts) << path;
        hosts << prefix << "77 " << longName << "\n";
    }
    auto sockets = MakeLinuxSocketLibrary();
    FakeMessageBoxes boxes;
    EXPECT_EQ(LookupHostName(*sockets, boxes, Hosts()[0].ip), "netlab-h1");
    EXPECT_EQ(LookupHostName(*sockets, boxes, Env("RM_LAB_ROUTER_IP")), "netlab-router");
    EXPECT_EQ(LookupHostName(*sockets, boxes, prefix + "77"), std::string(255, 'n'));
    EXPECT_EQ(LookupHostName(*sockets, boxes, absent), "");
    EXPECT_EQ(LookupHostName(*sockets, boxes, "192.168."), "");
    EXPECT_TRUE(boxes.shown.empty());
    // Every lookup released the library it started: one more cleanup is an error.
    EXPECT_NE(sockets->WsaCleanup(), 0);
}

TEST_F(NetLab, HostNameLookupGivesUpWithinASecond) {
    // A name server that never answers (nobody has that address): the resolver
    // alone would wait seconds per try. The file is rewritten in place, since
    // `ip netns exec` shows this very inode as /etc/resolv.conf.
    const std::string path = "/etc/netns/" + Env("RM_LAB_NAME") + "-scan/resolv.conf";
    std::string saved;
    {
        std::ifstream in(path);
        ASSERT_TRUE(in) << path;
        saved.assign(std::istreambuf_iterator<char>(in), {});
    }
    auto restore = [&] { std::ofstream(path, std::ios::trunc) << saved; };
    std::ofstream(path, std::ios::trunc)
        << "nameserver " << prefix << "250\noptions timeout:3 attempts:2\n";
    auto sockets = MakeLinuxSocketLibrary();
    FakeMessageBoxes boxes;
    const auto start = std::chrono::steady_clock::now();
    const std::string name = LookupHostName(*sockets, boxes, prefix + "98");
    const long long elapsed = MsSince(start);
    restore();
    EXPECT_EQ(name, "");
    EXPECT_LT(elapsed, 1600);
    EXPECT_TRUE(boxes.shown.empty());
    // Names the hosts file knows still come at once afterwards.
    EXPECT_EQ(LookupHostName(*sockets, boxes, Hosts()[0].ip), "netlab-h1");
}

}  // namespace
}  // namespace rm
