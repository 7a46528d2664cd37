// The network parts of the Windows layer under Wine in the lab's scanner
// namespace (scripts/netlab.sh: router at .1, four hosts, names in the lab's
// own hosts file). Wine's SendARP is a stub, so the first tests take the
// neighbour-table path: one datagram, then REACHABLE entries of GetIpNetTable2.
// The path real Windows takes runs on a stand-in for SendARP that behaves as
// the real call does; it sends nothing.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "core/AddressText.h"
#include "core/ArpProbe.h"
#include "platform/windows/WindowsArpResolver.h"
#include "platform/windows/WindowsPlatform.h"
#include "platform/windows/WindowsRangeScanner.h"

namespace rm {
namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

uint32_t Ip(const std::string& text) {
    uint32_t ip = 0;
    ParseDottedQuad(text, ip);
    return ip;
}

class LabTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (Env("RM_LAB_NAME").empty()) GTEST_SKIP() << "not inside the network lab";
        prefix = Env("RM_LAB_PREFIX");
        std::istringstream hosts(Env("RM_LAB_HOSTS"));
        for (std::string pair; hosts >> pair;) {
            const size_t eq = pair.find('=');
            macs[pair.substr(0, eq)] = pair.substr(eq + 1);
        }
        macs[Env("RM_LAB_ROUTER_IP")] = Env("RM_LAB_ROUTER_MAC");
        macs[Env("RM_LAB_SCANNER_IP")] = Env("RM_LAB_SCANNER_MAC");
    }
    std::string prefix;
    std::map<std::string, std::string> macs;  // ip text -> MAC text
};

TEST_F(LabTest, ResolverFindsPresentHostsAndGivesUpOnSilentOnesInTime) {
    WindowsArpResolver resolver;
    for (const auto& [ip, mac] : macs) {
        uint8_t bytes[8] = {};
        uint32_t len = 6;
        ASSERT_EQ(resolver.SendArp(Ip(ip), 0, bytes, &len), 0u) << ip;
        EXPECT_EQ(MacBytesToText(bytes, len), mac) << ip;
    }
    EXPECT_EQ(resolver.ActivePath(), WindowsArpResolver::Path::NeighbourTable);

    uint8_t bytes[8] = {};
    uint32_t len = 6;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(resolver.SendArp(Ip(prefix + "200"), 0, bytes, &len), WindowsArpResolver::kNoAnswer);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::milliseconds(1500));
}

TEST_F(LabTest, AddressTableListsTheLabInterfaceFirst) {
    auto table = MakeWindowsAddressTable();
    std::vector<uint8_t> image(4096);
    uint32_t size = uint32_t(image.size());
    ASSERT_EQ(table->GetIpAddrTable(image.data(), &size, false), 0u);
    uint32_t first = 0;
    std::memcpy(&first, image.data() + 4, 4);
    EXPECT_EQ(first, Ip(Env("RM_LAB_SCANNER_IP")));
}

TEST_F(LabTest, ReverseLookupReadsTheLabsNames) {
    auto sockets = MakeWindowsSocketLibrary();
    WsaData data;
    ASSERT_EQ(sockets->WsaStartup(0x0101, &data), 0);
    const uint32_t router = Ip(Env("RM_LAB_ROUTER_IP"));
    uint8_t addr[4];
    std::memcpy(addr, &router, 4);
    const auto start = std::chrono::steady_clock::now();
    const auto name = sockets->GetHostByAddr(addr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1100));
    ASSERT_TRUE(name.has_value());
    EXPECT_EQ(*name, "netlab-router");
    EXPECT_EQ(sockets->WsaCleanup(), 0);
}

TEST_F(LabTest, ASweepOfTheRangeFindsEveryHostBeforeTheWindowStopsWaiting) {
    std::mutex m;
    std::vector<std::function<void()>> tasks;
    WindowsRangeScanner scanner([&](std::function<void()> t) {
        std::lock_guard lock(m);
        tasks.push_back(std::move(t));
    });
    struct Lines : HostList {
        std::map<int, std::vector<std::string>> byHost;
        void AddHostEntry(int host, const std::string& line) override {
            byHost[host].push_back(line);
        }
    } lines;
    const auto start = std::chrono::steady_clock::now();
    scanner.Therad(prefix, lines, 1, 30);
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1500)) {
        std::vector<std::function<void()>> now;
        {
            std::lock_guard lock(m);
            now.swap(tasks);
        }
        for (auto& t : now) t();
        Sleep(10);
    }
    EXPECT_EQ(scanner.ActivePath(), WindowsRangeScanner::Path::NeighbourTable);
    ASSERT_EQ(lines.byHost.size(), 30u);
    for (int host = 1; host <= 30; ++host) {
        ASSERT_EQ(lines.byHost[host].size(), 1u) << host;
        const std::string ip = prefix + std::to_string(host);
        const auto it = macs.find(ip);
        const std::string mac = it == macs.end() ? std::string(kAbsentMac) : it->second;
        EXPECT_EQ(lines.byHost[host][0], ip + std::string(15 - ip.size(), ' ') + "  " + mac);
    }
}

// SendARP as Windows has it: a host in the ARP cache is answered at once; an
// absent one after about 3 s of requests, with ERROR_BAD_NET_NAME; now and then
// the call fails with ERROR_GEN_FAILURE (`failsOnce`, on its first call). `late`
// answers only after 1.6 s.
struct StandInSendArp {
    static constexpr int kAbsentMs = 3000;
    std::map<uint32_t, std::string> present;  // ip -> MAC text
    uint32_t failsOnce = 0, late = 0;
    std::mutex m;
    std::map<uint32_t, int> out, calls;
    int outNow = 0, mostOut = 0, mostForOneAddress = 0;

    uint32_t Call(uint32_t dest, uint8_t* mac, uint32_t* len) {
        int call;
        {
            std::lock_guard lock(m);
            call = ++calls[dest];
            mostOut = std::max(mostOut, ++outNow);
            mostForOneAddress = std::max(mostForOneAddress, ++out[dest]);
        }
        uint32_t rc = 67;  // ERROR_BAD_NET_NAME
        if (dest == failsOnce && call == 1) {
            rc = 31;  // ERROR_GEN_FAILURE
        } else if (present.count(dest)) {
            if (dest == late) Sleep(1600);
            for (size_t k = 0; k < 6; ++k)
                mac[k] = uint8_t(std::stoul(present.at(dest).substr(k * 3, 2), nullptr, 16));
            *len = 6;
            rc = 0;
        } else {
            Sleep(kAbsentMs);
        }
        std::lock_guard lock(m);
        --outNow;
        --out[dest];
        return rc;
    }
};

class StandInTest : public LabTest {
  protected:
    void SetUp() override {
        LabTest::SetUp();
        if (IsSkipped()) return;
        for (const auto& [ip, mac] : macs)
            if (ip != Env("RM_LAB_SCANNER_IP")) arp->present[Ip(ip)] = mac;
        ASSERT_FALSE(macs.count(prefix + "37") || macs.count(prefix + "38"));
        arp->failsOnce = Ip(prefix + "37");
        arp->late = Ip(prefix + "38");
        arp->present[arp->failsOnce] = "02-47-45-4E-46-00";
        arp->present[arp->late] = "02-4C-41-54-45-00";
    }
    SendArpFn Fn() {
        return [a = arp](uint32_t dest, uint32_t, uint8_t* mac, uint32_t* len) {
            return a->Call(dest, mac, len);
        };
    }
    std::shared_ptr<StandInSendArp> arp = std::make_shared<StandInSendArp>();
};

TEST_F(StandInTest, ProbeMacAnswersPresentHostsAtOnceAndGivesUpOnSilentOnesAfterOneSecond) {
    WindowsArpResolver resolver(WindowsArpResolver::Path::SendArp, std::chrono::milliseconds(1000),
                                Fn());
    const struct {
        std::string ip, mac;
        int leastMs, underMs;
    } cases[] = {{Env("RM_LAB_ROUTER_IP"), Env("RM_LAB_ROUTER_MAC"), 0, 200},
                 {prefix + "37", std::string(kNoAnswer), 0, 200},  // ERROR_GEN_FAILURE
                 {prefix + "200", std::string(kNoAnswer), 900, 1500}};
    for (const auto& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ProbeMac(resolver, c.ip), c.mac) << c.ip;
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_GE(took, std::chrono::milliseconds(c.leastMs)) << c.ip;
        EXPECT_LT(took, std::chrono::milliseconds(c.underMs)) << c.ip;
    }
    EXPECT_EQ(resolver.ActivePath(), WindowsArpResolver::Path::SendArp);
}

// Two sweeps 1.5 s apart, as the monitor makes them, while the first one's
// calls for silent hosts are still out: in the first .37 has failed and .38 not
// answered yet; the second asks .37 again and takes .38's late answer.
TEST_F(StandInTest, SweepsGiveEveryLineInTimeKeepOneCallPerAddressAndDropLateAnswers) {
    std::mutex m;
    std::vector<std::function<void()>> tasks;
    WindowsRangeScanner scanner(
        [&](std::function<void()> t) {
            std::lock_guard lock(m);
            tasks.push_back(std::move(t));
        },
        WindowsRangeScanner::Path::SendArp, std::chrono::milliseconds(1150), Fn());
    struct Lines : HostList {
        std::map<int, std::vector<std::string>> byHost;
        void AddHostEntry(int host, const std::string& line) override {
            byHost[host].push_back(line);
        }
    } sweeps[2];
    auto pumpUntil = [&](std::chrono::steady_clock::time_point end) {
        while (std::chrono::steady_clock::now() < end) {
            std::vector<std::function<void()>> now;
            {
                std::lock_guard lock(m);
                now.swap(tasks);
            }
            for (auto& t : now) t();
            Sleep(10);
        }
    };
    const auto t0 = std::chrono::steady_clock::now();
    for (int s = 0; s < 2; ++s) {
        scanner.Therad(prefix, sweeps[s], 1, 40);
        pumpUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(1500));
        ASSERT_EQ(sweeps[s].byHost.size(), 40u) << "lines missing when the window stopped waiting";
        for (int host = 1; host <= 40; ++host) {
            const std::string ip = prefix + std::to_string(host);
            const auto it = macs.find(ip);
            std::string mac = it == macs.end() ? std::string(kAbsentMac) : it->second;
            if (s == 1 && (host == 37 || host == 38)) mac = arp->present.at(Ip(ip));
            ASSERT_EQ(sweeps[s].byHost[host].size(), 1u) << host;
            EXPECT_EQ(sweeps[s].byHost[host][0], ip + std::string(15 - ip.size(), ' ') + "  " + mac)
                << "sweep " << s;
        }
    }
    // Every call of the silent hosts ends: none of it reaches either list.
    pumpUntil(t0 + std::chrono::milliseconds(StandInSendArp::kAbsentMs + 400));
    for (auto& sweep : sweeps)
        for (auto& [host, lines] : sweep.byHost) EXPECT_EQ(lines.size(), 1u) << host;
    std::lock_guard lock(arp->m);
    EXPECT_EQ(arp->outNow, 0);
    EXPECT_EQ(arp->mostForOneAddress, 1) << "two calls out for one address";
    EXPECT_LE(arp->mostOut, 39) << "more calls at once than hosts asked";
    EXPECT_EQ(arp->calls[Ip(prefix + "37")], 2);
    EXPECT_EQ(arp->calls[Ip(prefix + "38")], 1);
    EXPECT_EQ(arp->calls[Ip(prefix + "30")], 1)
        << "a silent host asked again while its call was out";
}

}  // namespace
}  // namespace rm
