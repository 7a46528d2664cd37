// Ethernet ARP frames: building requests and recognising replies. Pure functions
// over bytes, shared by the range scanner and the single-address probe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace rm {

using MacAddress = std::array<uint8_t, 6>;

constexpr size_t kArpFrameSize = 42;  // 14 Ethernet + 28 ARP, before padding

// A broadcast who-has request for `target` (network byte order) from `srcMac`/`srcIp`.
std::array<uint8_t, kArpFrameSize> BuildArpRequest(const MacAddress& srcMac, uint32_t srcIp,
                                                   uint32_t target);

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

}  // namespace rm
