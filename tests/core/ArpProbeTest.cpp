// ProbeMac against a scripted resolver: what is asked, and which answers count.
#include <gtest/gtest.h>

#include "core/AddressText.h"
#include "core/ArpProbe.h"
#include "platform/fake/FakeNetwork.h"
#include "tests/support/TextRepeat.h"

namespace rm {
namespace {

using test::Repeat;

TEST(ProbeMac, SixByteAnswerGivesUpperCaseMacText) {
    FakeArpResolver arp;
    arp.Set("192.168.1.1", {0x02, 0x1f, 0x3a, 0x00, 0xc4, 0x5b});
    EXPECT_EQ(ProbeMac(arp, std::string("192.168.1.1")), std::string("02-1F-3A-00-C4-5B"));
    ASSERT_EQ(arp.requests.size(), 1u);
    EXPECT_EQ(arp.requests[0], InetAddr("192.168.1.1"));
}

TEST(ProbeMac, ShorterAnswerGivesFewerGroups) {
    FakeArpResolver arp;
    arp.Set("10.0.0.7", {0xAA, 0xBB, 0xCC, 0xDD});
    EXPECT_EQ(ProbeMac(arp, std::string("10.0.0.7")), std::string("AA-BB-CC-DD"));
    arp.Set("10.0.0.8", {0x01});
    EXPECT_EQ(ProbeMac(arp, std::string("10.0.0.8")), std::string("01"));
}

TEST(ProbeMac, ZeroAddressIsRefusedWithoutARequest) {
    FakeArpResolver arp;
    EXPECT_EQ(ProbeMac(arp, std::string("0.0.0.0")), std::string("False"));
    EXPECT_TRUE(arp.requests.empty());
}

TEST(ProbeMac, TextThatIsNoAddressIsAskedAsAllOnes) {
    FakeArpResolver arp;
    for (const std::string& t : {std::string("abc"), std::string(), std::string("192.168."),
                                 Repeat("网", 100 * 1024), std::string("999.1.1.1")})
        EXPECT_EQ(ProbeMac(arp, t), std::string("False"));
    ASSERT_EQ(arp.requests.size(), 5u);
    for (uint32_t r : arp.requests) EXPECT_EQ(r, 0xFFFFFFFFu);
}

TEST(ProbeMac, UnusableAnswersCountAsNoAnswer) {
    FakeArpResolver arp;
    arp.Set("10.0.0.1", {0, 0, 0, 0, 0x12, 0x34});  // four leading zero bytes
    arp.Set("10.0.0.2", {0, 0, 0, 0, 0, 0});
    arp.Set("10.0.0.3", {});                                          // empty answer
    arp.answers[InetAddr("10.0.0.4")] = {31, {0x02, 1, 2, 3, 4, 5}};  // error with data
    for (const char* ip : {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5"})
        EXPECT_EQ(ProbeMac(arp, std::string(ip)), std::string("False")) << ip;
    // Only the first four bytes decide: a zero in byte 0 alone is a real address.
    arp.Set("10.0.0.6", {0, 0, 0, 1, 0, 0});
    EXPECT_EQ(ProbeMac(arp, std::string("10.0.0.6")), std::string("00-00-00-01-00-00"));
}

// A resolver that claims more bytes than the 6-byte buffer holds.
class OverclaimingResolver : public ArpResolver {
  public:
    uint32_t offered = 0;
    uint32_t SendArp(uint32_t, uint32_t, uint8_t* mac, uint32_t* len) override {
        offered = *len;
        for (uint32_t i = 0; i < *len; ++i) mac[i] = uint8_t(0x10 + i);
        *len = 64;
        return 0;
    }
};

TEST(ProbeMac, NeverReadsPastItsSixByteBuffer) {
    OverclaimingResolver arp;
    EXPECT_EQ(ProbeMac(arp, std::string("10.0.0.1")), std::string("10-11-12-13-14-15"));
    EXPECT_EQ(arp.offered, 6u);
}

}  // namespace
}  // namespace rm
