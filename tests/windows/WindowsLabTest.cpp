// The network parts of the Windows layer under Wine in the lab's scanner
// namespace (scripts/netlab.sh: router at .1, four hosts, names in the lab's
// own hosts file). Wine's SendARP is a stub, so the first tests take the
// neighbour-table path: one datagram, then REACHABLE entries of GetIpNetTable2.
// The path real Windows takes runs on a stand-in for SendARP that behaves as
// the real call does; it sends nothing.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <algorithm>
#include <atomic>
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
// the call fails with ERROR_GEN_FAILURE. `late` answers only after a while.
struct StandInSendArp {
    std::map<uint32_t, std::string> present;  // ip -> MAC text
    uint32_t failsOnce = 0;                   // ERROR_GEN_FAILURE on its first call
    uint32_t late = 0;                        // present, answers after `lateMs`
    int lateMs = 1600;
    int absentMs = 3000;
    std::mutex m;
    std::map<uint32_t, int> out, calls;
    int outNow = 0, mostOut = 0, mostForOneAddress = 0;

    static SendArpFn Fn(std::shared_ptr<StandInSendArp> self) {
        return [self](uint32_t dest, uint32_t, uint8_t* mac, uint32_t* len) {
            return self->Call(dest, mac, len);
        };
    }
    uint32_t Call(uint32_t dest, uint8_t* mac, uint32_t* len) {
        int call;
        {
            std::lock_guard lock(m);
            call = ++calls[dest];
            mostOut = std::max(mostOut, ++outNow);
            mostForOneAddress = std::max(mostForOneAddress, ++out[dest]);
        }
        uint32_t rc = 67;  // ERROR_BAD_NET_NAME
        std::string text;
        if (dest == failsOnce && call == 1) {
            rc = 31;  // ERROR_GEN_FAILURE
        } else if (present.count(dest) || dest == late) {
            if (dest == late) Sleep(DWORD(lateMs));
            text = dest == late ? "02-4C-41-54-45-00" : present[dest];
            rc = 0;
        } else {
            Sleep(DWORD(absentMs));
        }
        if (rc == 0) {
            for (size_t k = 0; k < 6; ++k)
                mac[k] = uint8_t(std::stoul(text.substr(k * 3, 2), nullptr, 16));
            *len = 6;
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
        arp->present[arp->failsOnce] = "02-47-45-4E-46-00";
        arp->late = Ip(prefix + "38");
    }
    std::shared_ptr<StandInSendArp> arp = std::make_shared<StandInSendArp>();
};

TEST_F(StandInTest, ProbeMacAnswersPresentHostsAtOnceAndGivesUpOnSilentOnesAfterOneSecond) {
    WindowsArpResolver resolver(WindowsArpResolver::Path::SendArp, std::chrono::milliseconds(1000),
                                StandInSendArp::Fn(arp));
    auto timed = [&](const std::string& ip, std::string* mac) {
        const auto start = std::chrono::steady_clock::now();
        *mac = ProbeMac(resolver, ip);
        return std::chrono::steady_clock::now() - start;
    };
    std::string mac;
    const std::string router = Env("RM_LAB_ROUTER_IP");
    EXPECT_LT(timed(router, &mac), std::chrono::milliseconds(200));
    EXPECT_EQ(mac, Env("RM_LAB_ROUTER_MAC"));
    EXPECT_LT(timed(prefix + "37", &mac), std::chrono::milliseconds(200));  // ERROR_GEN_FAILURE
    EXPECT_EQ(mac, kNoAnswer);
    const auto silent = timed(prefix + "200", &mac);
    EXPECT_EQ(mac, kNoAnswer);
    EXPECT_GE(silent, std::chrono::milliseconds(900));
    EXPECT_LT(silent, std::chrono::milliseconds(1500));
    EXPECT_EQ(resolver.ActivePath(), WindowsArpResolver::Path::SendArp);
}

// Two sweeps 1.5 s apart, as the monitor makes them, while the first one's
// calls for silent hosts are still out.
TEST_F(StandInTest, SweepsGiveEveryLineInTimeKeepOneCallPerAddressAndDropLateAnswers) {
    std::mutex m;
    std::vector<std::function<void()>> tasks;
    WindowsRangeScanner scanner(
        [&](std::function<void()> t) {
            std::lock_guard lock(m);
            tasks.push_back(std::move(t));
        },
        WindowsRangeScanner::Path::SendArp, std::chrono::milliseconds(1150),
        StandInSendArp::Fn(arp));
    struct Lines : HostList {
        std::map<int, std::vector<std::string>> byHost;
        void AddHostEntry(int host, const std::string& line) override {
            byHost[host].push_back(line);
        }
    } first, second;
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
    auto line = [&](int host, const std::string& mac) {
        const std::string ip = prefix + std::to_string(host);
        return ip + std::string(15 - ip.size(), ' ') + "  " + mac;
    };
    auto expected = [&](int host) {
        const auto it = macs.find(prefix + std::to_string(host));
        return line(host, it == macs.end() ? std::string(kAbsentMac) : it->second);
    };

    const auto t0 = std::chrono::steady_clock::now();
    scanner.Therad(prefix, first, 1, 40);
    pumpUntil(t0 + std::chrono::milliseconds(1500));
    ASSERT_EQ(first.byHost.size(), 40u) << "lines missing when the window stopped waiting";
    for (int host = 1; host <= 40; ++host) {
        ASSERT_EQ(first.byHost[host].size(), 1u) << host;
        EXPECT_EQ(first.byHost[host][0], expected(host));  // 37 failed, 38 not yet answered
    }

    const auto t1 = std::chrono::steady_clock::now();
    scanner.Therad(prefix, second, 1, 40);
    pumpUntil(t1 + std::chrono::milliseconds(1500));
    ASSERT_EQ(second.byHost.size(), 40u);
    for (int host = 1; host <= 40; ++host) {
        ASSERT_EQ(second.byHost[host].size(), 1u) << host;
        if (host == 37 || host == 38) continue;
        EXPECT_EQ(second.byHost[host][0], expected(host));
    }
    EXPECT_EQ(second.byHost[37][0], line(37, "02-47-45-4E-46-00"))
        << "not asked again after ERROR_GEN_FAILURE";
    // The late answer of the first sweep's call went to the second sweep.
    EXPECT_EQ(second.byHost[38][0], line(38, "02-4C-41-54-45-00"));

    // Every call of the silent hosts ends: none of it reaches either list.
    pumpUntil(t0 + std::chrono::milliseconds(arp->absentMs + 400));
    for (int host = 1; host <= 40; ++host) {
        EXPECT_EQ(first.byHost[host].size(), 1u) << host;
        EXPECT_EQ(second.byHost[host].size(), 1u) << host;
    }
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
