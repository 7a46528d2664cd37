// Which ARP replies prove themselves answers to this machine, and which
// frames tell of a device on the /24: the user-space checks over frame bytes,
// and the kernel filter of the helper's socket run on the same frames
// (attached to a datagram socket pair, where every frame arrives as
// PACKET_HOST), so that the two never disagree.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/ArpFrame.h"
#include "platform/linux/RawArpSocket.h"

namespace rm {
namespace {

const MacAddress kOwnMac{0x02, 0x52, 0x4d, 0x00, 0xfe, 0x02};
const MacAddress kHostMac{0x02, 0x52, 0x4d, 0x00, 0x00, 0x0b};
const MacAddress kOtherMac{0x02, 0x52, 0x4d, 0x00, 0x00, 0x99};
const uint32_t kOwnIp = inet_addr("10.77.0.2");
const uint32_t kHostIp = inet_addr("10.77.0.11");

// A reply of host .11 to this machine, as the host sends it, padded to 60 bytes.
std::vector<uint8_t> GoodReply() {
    std::vector<uint8_t> f(60, 0);
    std::copy(kOwnMac.begin(), kOwnMac.end(), f.begin());
    std::copy(kHostMac.begin(), kHostMac.end(), f.begin() + 6);
    const uint8_t arp[] = {0x08, 0x06, 0x00, 0x01, 0x08, 0x00, 6, 4, 0, 2};
    std::copy(std::begin(arp), std::end(arp), f.begin() + 12);
    std::copy(kHostMac.begin(), kHostMac.end(), f.begin() + 22);
    std::memcpy(f.data() + 28, &kHostIp, 4);
    std::copy(kOwnMac.begin(), kOwnMac.end(), f.begin() + 32);
    std::memcpy(f.data() + 38, &kOwnIp, 4);
    return f;
}

struct Forgery {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> change;
};

const std::vector<Forgery>& Forgeries() {
    static const std::vector<Forgery> all = {
        {"Ethernet source differs from the ARP sender",
         [](auto& f) { std::copy(kOtherMac.begin(), kOtherMac.end(), f.begin() + 6); }},
        {"ARP sender differs from the Ethernet source",
         [](auto& f) { std::copy(kOtherMac.begin(), kOtherMac.end(), f.begin() + 22); }},
        {"addressed to another machine",
         [](auto& f) { std::copy(kOtherMac.begin(), kOtherMac.end(), f.begin()); }},
        {"sent to everybody", [](auto& f) { std::fill(f.begin(), f.begin() + 6, 0xFF); }},
        {"ARP target MAC is another machine's",
         [](auto& f) { std::copy(kOtherMac.begin(), kOtherMac.end(), f.begin() + 32); }},
        {"ARP target is another address",
         [](auto& f) {
             const uint32_t other = inet_addr("10.77.0.3");
             std::memcpy(f.data() + 38, &other, 4);
         }},
        {"a request", [](auto& f) { f[21] = 1; }},
        {"RARP opcode", [](auto& f) { f[21] = 3; }},
        {"not ARP", [](auto& f) { f[13] = 0x00; }},
        {"hardware type not Ethernet", [](auto& f) { f[15] = 6; }},
        {"protocol not IPv4", [](auto& f) { f[16] = 0x86, f[17] = 0xdd; }},
        {"hardware length 5", [](auto& f) { f[18] = 5; }},
        {"protocol length 16", [](auto& f) { f[19] = 16; }},
        {"cut short", [](auto& f) { f.resize(41); }},
        {"sender MAC is a group address",
         [](auto& f) {
             f[6] |= 1;
             f[22] |= 1;
         }},
    };
    return all;
}

TEST(ProvenArpReply, TakesTheHostsReplyToThisMachine) {
    const auto r = ProvenArpReply(GoodReply(), kPacketHost, kOwnMac, kOwnIp);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->senderIp, kHostIp);
    EXPECT_EQ(r->senderMac, kHostMac);
    // Unpadded, as a local sender may hand it over.
    auto bare = GoodReply();
    bare.resize(kArpFrameSize);
    EXPECT_TRUE(ProvenArpReply(bare, kPacketHost, kOwnMac, kOwnIp));
}

TEST(ProvenArpReply, RefusesEveryForgery) {
    for (const Forgery& forgery : Forgeries()) {
        auto f = GoodReply();
        forgery.change(f);
        EXPECT_FALSE(ProvenArpReply(f, kPacketHost, kOwnMac, kOwnIp)) << forgery.what;
    }
}

TEST(ProvenArpReply, RefusesFramesNotDeliveredToThisHost) {
    // PACKET_BROADCAST 1, MULTICAST 2, OTHERHOST 3 (a switch flooding another
    // machine's reply, or promiscuous mode), OUTGOING 4.
    for (uint8_t type : {1, 2, 3, 4})
        EXPECT_FALSE(ProvenArpReply(GoodReply(), type, kOwnMac, kOwnIp)) << int(type);
}

TEST(ProvenArpReply, OnlyForTheInterfaceItWasAskedOn) {
    EXPECT_FALSE(ProvenArpReply(GoodReply(), kPacketHost, kOtherMac, kOwnIp));
    EXPECT_FALSE(ProvenArpReply(GoodReply(), kPacketHost, kOwnMac, inet_addr("10.77.1.2")));
}

// Whether the reply filter lets `frame` through, run by the kernel.
bool FilterPasses(const std::vector<uint8_t>& frame) {
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, sv) != 0) ADD_FAILURE() << "socketpair";
    std::vector<sock_filter> code = ReplyFilterCode(kOwnMac, kOwnIp);
    sock_fprog prog{static_cast<unsigned short>(code.size()), code.data()};
    EXPECT_EQ(setsockopt(sv[1], SOL_SOCKET, SO_ATTACH_FILTER, &prog, sizeof prog), 0);
    EXPECT_EQ(send(sv[0], frame.data(), frame.size(), 0), ssize_t(frame.size()));
    uint8_t buf[256];
    const ssize_t n = recv(sv[1], buf, sizeof buf, MSG_DONTWAIT);
    close(sv[0]);
    close(sv[1]);
    return n > 0;
}

// Host .11 asking who has the router, as a device that joins does first.
std::vector<uint8_t> Request(uint32_t sender, uint32_t target) {
    auto f = GoodReply();
    std::fill(f.begin(), f.begin() + 6, 0xFF);
    f[21] = 1;
    std::fill(f.begin() + 32, f.begin() + 38, 0);
    std::memcpy(f.data() + 28, &sender, 4);
    std::memcpy(f.data() + 38, &target, 4);
    return f;
}

TEST(ArpSightingOf, RequestsAnnouncementsAndProbesOfTheNetworkOnly) {
    const uint32_t router = inet_addr("10.77.0.1");
    struct Case {
        const char* what;
        std::vector<uint8_t> frame;
        uint8_t pktType;
        uint32_t ip;  // 0: no sighting
    };
    auto gratuitousReply = GoodReply();
    std::fill(gratuitousReply.begin(), gratuitousReply.begin() + 6, 0xFF);
    std::memcpy(gratuitousReply.data() + 38, &kHostIp, 4);
    auto forgedSource = Request(kHostIp, router);
    forgedSource[11] ^= 1;
    const std::vector<Case> cases = {
        {"a request of .11", Request(kHostIp, router), kPacketBroadcast, kHostIp},
        {"a unicast request to this machine", Request(kHostIp, kOwnIp), kPacketHost, kHostIp},
        {"an announcement", Request(kHostIp, kHostIp), kPacketBroadcast, kHostIp},
        {"an address probe names its target", Request(0, kHostIp), kPacketBroadcast, kHostIp},
        {"a gratuitous reply", gratuitousReply, kPacketBroadcast, kHostIp},
        {"a reply to this machine is an answer", GoodReply(), kPacketHost, 0},
        {"another network's sender", Request(inet_addr("10.77.1.11"), router), kPacketBroadcast,
         0},
        {"a probe for another network", Request(0, inet_addr("10.77.1.11")), kPacketBroadcast, 0},
        {"this machine's own address", Request(kOwnIp, router), kPacketBroadcast, 0},
        {"the network's broadcast address", Request(inet_addr("10.77.0.255"), router),
         kPacketBroadcast, 0},
        {"Ethernet source is not the sender", forgedSource, kPacketBroadcast, 0},
        {"seen passing to another machine", Request(kHostIp, router), 3 /* OTHERHOST */, 0},
    };
    for (const Case& c : cases) {
        const auto s = ArpSightingOf(c.frame, c.pktType, kOwnMac, kOwnIp);
        EXPECT_EQ(s ? s->ip : 0u, c.ip) << c.what;
        if (s) {
            EXPECT_EQ(s->mac, kHostMac) << c.what;
        }
        // The kernel keeps exactly what one of the two checks takes (a socket
        // pair delivers everything as PACKET_HOST).
        if (c.pktType == kPacketHost) {
            EXPECT_EQ(FilterPasses(c.frame),
                      s || ProvenArpReply(c.frame, c.pktType, kOwnMac, kOwnIp))
                << c.what;
        }
    }
}

TEST(ReplyFilter, KernelPassesTheGoodReplyAndDropsEveryForgery) {
    EXPECT_TRUE(FilterPasses(GoodReply()));
    for (const Forgery& forgery : Forgeries()) {
        auto f = GoodReply();
        forgery.change(f);
        // A group sender MAC is the parser's business, not the filter's; a
        // request of .11 is a sighting, which the filter passes too.
        if (std::string(forgery.what).find("group") != std::string::npos) continue;
        EXPECT_EQ(FilterPasses(f), bool(ArpSightingOf(f, kPacketHost, kOwnMac, kOwnIp)))
            << forgery.what;
    }
}

TEST(MacText, RoundTripsAndRefusesOtherSpellings) {
    EXPECT_EQ(MacText(kHostMac), "02-52-4D-00-00-0B");
    EXPECT_EQ(ParseMacText("02-52-4D-00-00-0B"), kHostMac);
    for (const char* bad : {"02-52-4d-00-00-0b", "02:52:4D:00:00:0B", "02-52-4D-00-00-0", "",
                            "02-52-4D-00-00-0B-", "G2-52-4D-00-00-0B", "02-52-4D-00-00-0B "})
        EXPECT_FALSE(ParseMacText(bad)) << bad;
}

}  // namespace
}  // namespace rm
