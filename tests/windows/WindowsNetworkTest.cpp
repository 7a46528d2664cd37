// The address table as the core reads it, and the resolver's answers that need
// nothing sent: bad arguments and addresses off every local network.
#include <gtest/gtest.h>
// The Windows headers need this order.
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <chrono>
#include <cstring>
#include <vector>

#include "platform/windows/WindowsArpResolver.h"
#include "platform/windows/WindowsPlatform.h"

namespace rm {
namespace {

uint32_t Ip(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    const uint8_t bytes[4] = {a, b, c, d};
    uint32_t ip;
    std::memcpy(&ip, bytes, 4);
    return ip;
}

struct Row {
    uint32_t addr, index, mask;
};

std::vector<Row> Rows(const std::vector<uint8_t>& image) {
    uint32_t count = 0;
    std::memcpy(&count, image.data(), 4);
    std::vector<Row> rows(count);
    for (uint32_t i = 0; i < count; ++i)
        std::memcpy(&rows[i], image.data() + 4 + AddressTable::kRowSize * i, sizeof(Row));
    return rows;
}

TEST(WindowsAddressTableTest, SizeFirstThenAnImageWithLoopbackLast) {
    auto table = MakeWindowsAddressTable();
    uint32_t size = 0;
    ASSERT_EQ(table->GetIpAddrTable(nullptr, &size, false), AddressTable::kInsufficientBuffer);
    ASSERT_GE(size, 4 + AddressTable::kRowSize);
    ASSERT_EQ((size - 4) % AddressTable::kRowSize, 0u);

    uint32_t small = size - 1;
    std::vector<uint8_t> image(size + 64, 0xEE);
    EXPECT_EQ(table->GetIpAddrTable(image.data(), &small, false),
              AddressTable::kInsufficientBuffer);
    EXPECT_EQ(small, size);

    uint32_t given = uint32_t(image.size());
    ASSERT_EQ(table->GetIpAddrTable(image.data(), &given, false), 0u);
    EXPECT_EQ(given, size);
    EXPECT_EQ(image[size], 0xEE) << "written past the size it reported";
    const std::vector<Row> rows = Rows(image);
    ASSERT_EQ(4 + AddressTable::kRowSize * rows.size(), size);

    // Loopback is there, with its /8 mask, and no other address follows it.
    bool seenLoopback = false;
    for (const Row& r : rows) {
        const bool loopback = (ntohl(r.addr) >> 24) == 127;
        if (loopback && r.addr == Ip(127, 0, 0, 1)) EXPECT_EQ(r.mask, Ip(255, 0, 0, 0));
        EXPECT_FALSE(seenLoopback && !loopback) << "an address listed after loopback";
        seenLoopback = seenLoopback || loopback;
    }
    EXPECT_TRUE(seenLoopback);

    std::vector<uint8_t> sortedImage(size);
    uint32_t sortedSize = size;
    ASSERT_EQ(table->GetIpAddrTable(sortedImage.data(), &sortedSize, true), 0u);
    EXPECT_EQ(Rows(sortedImage).size(), rows.size());
    EXPECT_EQ(table->GetIpAddrTable(image.data(), nullptr, false), 87u);
}

TEST(WindowsArpResolverTest, RefusesBadArgumentsAndAddressesNoNeighbourCanHold) {
    WindowsArpResolver resolver;
    uint8_t mac[8] = {};
    uint32_t len = 6;
    EXPECT_EQ(resolver.SendArp(Ip(127, 0, 0, 1), 0, nullptr, &len), 87u);
    EXPECT_EQ(resolver.SendArp(Ip(127, 0, 0, 1), 0, mac, nullptr), 87u);
    len = 0;
    EXPECT_EQ(resolver.SendArp(Ip(127, 0, 0, 1), 0, mac, &len), 87u);
    len = 6;
    EXPECT_EQ(resolver.SendArp(Ip(127, 0, 0, 1), 0, mac, &len), 87u);  // loopback has no MAC
    EXPECT_EQ(resolver.SendArp(Ip(224, 0, 0, 1), 0, mac, &len), 87u);
    EXPECT_EQ(resolver.SendArp(Ip(255, 255, 255, 255), 0, mac, &len), 87u);
    EXPECT_EQ(resolver.SendArp(0, 0, mac, &len), 87u);

    // A documentation address is on none of this machine's networks: answered
    // at once, without a request or datagram leaving.
    const uint32_t offNet = Ip(203, 0, 113, 77);
    if (OnLocalNetwork(offNet)) GTEST_SKIP() << "203.0.113.0/24 is a local network here";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(resolver.SendArp(offNet, 0, mac, &len), WindowsArpResolver::kNoAnswer);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

TEST(WindowsSocketLibraryTest, StartAndCleanupPairUp) {
    auto sockets = MakeWindowsSocketLibrary();
    WsaData data;
    EXPECT_NE(sockets->WsaStartup(0x0101, nullptr), 0);
    ASSERT_EQ(sockets->WsaStartup(0x0101, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
    EXPECT_EQ(sockets->WsaCleanup(), 0);
}

}  // namespace
}  // namespace rm
