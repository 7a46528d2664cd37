// Ethernet ARP frames: building requests and recognising replies. Pure functions
// over bytes, shared by the range scanner and the single-address probe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rm {

using MacAddress = std::array<uint8_t, 6>;

constexpr size_t kArpFrameSize = 42;  // 14 Ethernet + 28 ARP, before padding

// A broadcast who-has request for `target` (network byte order) from `srcMac`/`srcIp`.
std::array<uint8_t, kArpFrameSize> BuildArpRequest(const MacAddress& srcMac, uint32_t srcIp,
                                                   uint32_t target);

// The same request sent to `targetMac` alone (RFC 1122 2.3.2.1, what the kernel
// does to confirm a neighbour it knows): only that device sees it, and a radio
// acknowledges and repeats it.
std::array<uint8_t, kArpFrameSize> BuildUnicastArpRequest(const MacAddress& srcMac, uint32_t srcIp,
                                                          uint32_t target,
                                                          const MacAddress& targetMac);

struct ArpReply {
    uint32_t senderIp = 0;  // network byte order
    MacAddress senderMac{};
    uint32_t targetIp = 0;  // network byte order: who the reply is meant for
    MacAddress targetMac{};
};

// The sender of an ARP reply (opcode 2, Ethernet/IPv4) in a whole Ethernet frame;
// nothing for anything else (other ethertype or opcode, truncated, bad lengths, a
// sender hardware address that is zero or a group address: no device owns those).
std::optional<ArpReply> ParseArpReply(std::span<const uint8_t> frame);

// The kernel's packet type of a received frame (sockaddr_ll.sll_pkttype):
// PACKET_HOST (0) is a frame addressed to this machine's own MAC.
constexpr uint8_t kPacketHost = 0;

// A frame as a packet socket delivers it.
struct ReceivedFrame {
    std::vector<uint8_t> bytes;
    uint8_t pktType = kPacketHost;
};

// The reply in `frame` when it proves itself an answer to a request of this
// machine (`ownMac`/`ownIp` on the interface it came in on): an ARP reply
// delivered as PACKET_HOST, its Ethernet destination our MAC, its Ethernet
// source the MAC it claims as sender, its ARP target our MAC and address.
// Anything else (a reply meant for another machine that a flooding switch
// showed us, a sloppy forgery) is nothing. Whether the sender was asked is the
// caller's to check. ARP proves no identity: a neighbour that forges every
// field consistently passes, which is why answers are also compared with what
// the sweeps already know (core/ArpSweep.h).
std::optional<ArpReply> ProvenArpReply(std::span<const uint8_t> frame, uint8_t pktType,
                                       const MacAddress& ownMac, uint32_t ownIp);

// The kernel's packet type of a frame sent to everybody (PACKET_BROADCAST).
constexpr uint8_t kPacketBroadcast = 1;

// A device heard speaking ARP on its own: who it says it is.
struct ArpSighting {
    uint32_t ip = 0;  // network byte order
    MacAddress mac{};
};

// The address and MAC that a request or announcement of another device on
// this machine's /24 (`ownIp`) gives away: a request or gratuitous reply whose
// sender address is on the /24, or an address probe (RFC 5227: sender address
// zero) for an address of the /24, which names the address it wants. Its
// Ethernet source must be the sender MAC. Nothing is proven by it: a sighting
// only says whom to ask.
std::optional<ArpSighting> ArpSightingOf(std::span<const uint8_t> frame, uint8_t pktType,
                                         const MacAddress& ownMac, uint32_t ownIp);

// "02-52-4D-00-00-0A", and back (exactly that form; nothing for anything else).
std::string MacText(const MacAddress& mac);
std::optional<MacAddress> ParseMacText(std::string_view text);

}  // namespace rm
