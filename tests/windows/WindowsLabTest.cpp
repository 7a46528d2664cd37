// The network parts of the Windows layer under Wine in the lab's scanner
// namespace (scripts/netlab.sh: router at .1, four hosts, names in the lab's
// own hosts file). Wine's SendARP is a stub, so this is the neighbour-table
// path: one datagram, then REACHABLE entries of GetIpNetTable2.
#include <gtest/gtest.h>
#include <winsock2.h>

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

}  // namespace
}  // namespace rm
