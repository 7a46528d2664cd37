// IPv4 text, MAC text and inet_addr: the exact forms other code compares against.
#include <gtest/gtest.h>

#include "core/AddressText.h"
#include "tests/core/NetOrder.h"

namespace rm {
namespace {

TEST(Ipv4ToText, ReadsBytesInMemoryOrder) {
    const uint8_t v[4] = {0xC0, 0xA8, 0x01, 0x64};
    EXPECT_EQ(Ipv4ToText(v), std::string("192.168.1.100"));
    // A value held as an integer in network byte order reads the same way.
    const uint32_t n = test::NetOrder(0x0A141E28);
    EXPECT_EQ(Ipv4ToText(reinterpret_cast<const uint8_t*>(&n)), std::string("10.20.30.40"));
}

TEST(Ipv4ToText, ShortestDecimalParts) {
    const struct {
        uint8_t v[4];
        const char* text;
    } cases[] = {
        {{0, 0, 0, 0}, "0.0.0.0"},
        {{255, 255, 255, 255}, "255.255.255.255"},
        {{7, 10, 100, 0}, "7.10.100.0"},
    };
    for (const auto& c : cases) EXPECT_EQ(Ipv4ToText(c.v), std::string(c.text)) << c.text;
}

TEST(MacBytesToText, UpperCaseHexPairsJoinedByDash) {
    const uint8_t six[6] = {0x02, 0x1F, 0x3A, 0x00, 0xC4, 0x5B};
    EXPECT_EQ(MacBytesToText(six, 6), std::string("02-1F-3A-00-C4-5B"));
    const uint8_t zeros[6] = {};
    EXPECT_EQ(MacBytesToText(zeros, 6), std::string("00-00-00-00-00-00"));
    const uint8_t groups[3] = {0x00, 0x05, 0xAB};
    EXPECT_EQ(MacBytesToText(groups, 3), std::string("00-05-AB"));
}

TEST(MacBytesToText, OneGroupPerByteWithoutStraySeparators) {
    const uint8_t one[1] = {0xFF};
    EXPECT_EQ(MacBytesToText(one, 1), std::string("FF"));
    const uint8_t two[2] = {0x0A, 0xFF};
    EXPECT_EQ(MacBytesToText(two, 2), std::string("0A-FF"));
    EXPECT_EQ(MacBytesToText(two, 0), std::string());
}

TEST(InetAddr, DottedAndShortForms) {
    EXPECT_EQ(InetAddr(std::string("192.168.1.100")), test::NetOrder(0xC0A80164));
    EXPECT_EQ(InetAddr(std::string("0.0.0.0")), 0u);
    EXPECT_EQ(InetAddr(std::string("127.1")), test::NetOrder(0x7F000001));
    EXPECT_EQ(InetAddr(std::string("0x7f.1")), test::NetOrder(0x7F000001));
    EXPECT_EQ(InetAddr(std::string("010.0.0.1")), test::NetOrder(0x08000001));  // octal part
}

TEST(InetAddr, NotAnAddressGivesAllOnesNotZero) {
    const std::string bad[] = {
        std::string(),
        std::string("abc"),
        std::string("999.1.1.1"),
        std::string("192.168."),
        std::string("1.2.3.4.5"),
        std::string("１９２.１６８.１.１"),  // full-width digits
        std::string("路由器"),
        std::string(100 * 1024, '9'),
    };
    for (const std::string& t : bad) EXPECT_EQ(InetAddr(t), 0xFFFFFFFFu) << t.substr(0, 40);
}

TEST(InetAddr, TextRoundTripsThroughIpv4ToText) {
    for (const char* t : {"1.2.3.4", "10.77.0.254", "255.255.255.254", "172.16.0.1"}) {
        const uint32_t v = InetAddr(std::string(t));
        EXPECT_EQ(Ipv4ToText(reinterpret_cast<const uint8_t*>(&v)), std::string(t));
    }
}

// Where a prefix and a host number are joined, only the plain form may count:
// "10." + "1" is no address, though inet_addr reads it as 10.0.0.1.
TEST(ParseDottedQuad, OnlyFourPlainDecimalParts) {
    uint32_t ip = 0;
    ASSERT_TRUE(ParseDottedQuad("192.168.1.254", ip));
    EXPECT_EQ(ip, InetAddr("192.168.1.254"));
    ASSERT_TRUE(ParseDottedQuad("0.0.0.0", ip));
    EXPECT_EQ(ip, 0u);
    for (const char* bad : {"10.1", "1.2.3", "1.2.3.4.", "1.2.3.256", "01.2.3.4", "1.2.3.0x1",
                            "1..3.4", " 1.2.3.4", "1.2.3.4 ", "", "1.2.3.1000", "-1.2.3.4"})
        EXPECT_FALSE(ParseDottedQuad(bad, ip)) << bad;
}

}  // namespace
}  // namespace rm
