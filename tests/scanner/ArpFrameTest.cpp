// ARP frames against known bytes, and the parser's refusal of everything that is
// not a well-formed Ethernet/IPv4 ARP reply (including random and mutated frames).
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/ArpFrame.h"

namespace rm {
namespace {

const MacAddress kMac{0x02, 0x1F, 0x3A, 0x00, 0xC4, 0x5B};

// A reply from 192.168.1.1 (00:0b:6b:9a:63:5e) to 192.168.1.20, padded to 60 bytes as on the wire.
std::vector<uint8_t> KnownReply() {
    std::vector<uint8_t> f = {0x02, 0x1f, 0x3a, 0x00, 0xc4, 0x5b, 0x00, 0x0b, 0x6b, 0x9a, 0x63,
                              0x5e, 0x08, 0x06, 0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x02,
                              0x00, 0x0b, 0x6b, 0x9a, 0x63, 0x5e, 0xc0, 0xa8, 0x01, 0x01, 0x02,
                              0x1f, 0x3a, 0x00, 0xc4, 0x5b, 0xc0, 0xa8, 0x01, 0x14};
    f.resize(60, 0);
    return f;
}

TEST(ArpFrame, RequestMatchesKnownBytes) {
    const auto f = BuildArpRequest(kMac, inet_addr("192.168.1.20"), inet_addr("192.168.1.1"));
    const std::vector<uint8_t> expected = {
        0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x02, 0x1f, 0x3a, 0x00, 0xc4, 0x5b, 0x08, 0x06,
        0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x01, 0x02, 0x1f, 0x3a, 0x00, 0xc4, 0x5b,
        0xc0, 0xa8, 0x01, 0x14, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xc0, 0xa8, 0x01, 0x01};
    EXPECT_EQ(std::vector<uint8_t>(f.begin(), f.end()), expected);
}

TEST(ArpFrame, ReplyFieldsReadInNetworkOrder) {
    const auto r = ParseArpReply(KnownReply());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->senderIp, inet_addr("192.168.1.1"));
    EXPECT_EQ(r->senderMac, (MacAddress{0x00, 0x0b, 0x6b, 0x9a, 0x63, 0x5e}));
    EXPECT_EQ(r->targetIp, inet_addr("192.168.1.20"));
    EXPECT_EQ(r->targetMac, kMac);
    // The unpadded 42 bytes are a whole reply too.
    auto f = KnownReply();
    f.resize(kArpFrameSize);
    EXPECT_TRUE(ParseArpReply(f));
}

TEST(ArpFrame, OwnRequestIsNotAReply) {
    const auto f = BuildArpRequest(kMac, inet_addr("192.168.1.20"), inet_addr("192.168.1.1"));
    EXPECT_FALSE(ParseArpReply(f));
}

TEST(ArpFrame, MalformedRepliesAreRefused) {
    struct Case {
        const char* what;
        size_t offset;
        uint8_t value;
    };
    const Case cases[] = {
        {"IPv4 ethertype", 13, 0x00},     {"RARP opcode 4", 21, 0x04},
        {"opcode 0", 21, 0x00},           {"token-ring hardware", 15, 0x06},
        {"IPv6 protocol", 16, 0x86},      {"hardware length 8", 18, 0x08},
        {"protocol length 16", 19, 0x10}, {"group sender MAC", 22, 0x01},
    };
    for (const Case& c : cases) {
        auto f = KnownReply();
        f[c.offset] = c.value;
        EXPECT_FALSE(ParseArpReply(f)) << c.what;
    }
    auto zero = KnownReply();
    std::fill(zero.begin() + 22, zero.begin() + 28, 0);
    EXPECT_FALSE(ParseArpReply(zero)) << "all-zero sender MAC";
    for (size_t n = 0; n < kArpFrameSize; ++n) {
        auto f = KnownReply();
        f.resize(n);
        EXPECT_FALSE(ParseArpReply(f)) << "truncated to " << n;
    }
}

// The parser never reads outside the frame and never accepts a frame whose
// header bytes are not those of an Ethernet/IPv4 ARP reply.
TEST(ArpFrame, FuzzedFramesKeepTheInvariants) {
    std::mt19937 rng(20240611);
    const auto valid = KnownReply();
    int accepted = 0;
    for (int i = 0; i < 200000; ++i) {
        std::vector<uint8_t> f;
        if (i % 2 == 0) {
            f.resize(rng() % 80);
            for (auto& b : f) b = uint8_t(rng());
        } else {
            f = valid;
            const int flips = 1 + int(rng() % 4);
            for (int k = 0; k < flips; ++k) f[rng() % f.size()] ^= uint8_t(1u << (rng() % 8));
            f.resize(rng() % 8 == 0 ? rng() % f.size() : f.size());
        }
        const auto r = ParseArpReply(f);
        if (!r) continue;
        ++accepted;
        ASSERT_GE(f.size(), kArpFrameSize);
        const std::vector<uint8_t> header(f.begin() + 12, f.begin() + 22);
        ASSERT_EQ(header, (std::vector<uint8_t>{0x08, 0x06, 0x00, 0x01, 0x08, 0x00, 6, 4, 0, 2}));
        ASSERT_EQ(r->senderMac[0] & 1, 0);
    }
    EXPECT_GT(accepted, 1000);  // mutations outside the header still parse
}

}  // namespace
}  // namespace rm
