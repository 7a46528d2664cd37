// Building ARP requests and parsing ARP replies (RFC 826 over Ethernet).
#include "core/ArpFrame.h"

#include <algorithm>
#include <cstring>

namespace rm {

namespace {

constexpr uint16_t kEtherTypeArp = 0x0806;
constexpr uint16_t kHardwareEthernet = 1;
constexpr uint16_t kProtocolIpv4 = 0x0800;
constexpr uint16_t kOpRequest = 1;
constexpr uint16_t kOpReply = 2;

void Put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

uint16_t Get16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}

// IPv4 values stay in network byte order: copy the bytes, never convert.
void PutIp(uint8_t* p, uint32_t ip) {
    std::memcpy(p, &ip, 4);
}

uint32_t GetIp(const uint8_t* p) {
    uint32_t ip;
    std::memcpy(&ip, p, 4);
    return ip;
}

}  // namespace

std::array<uint8_t, kArpFrameSize> BuildArpRequest(const MacAddress& srcMac, uint32_t srcIp,
                                                   uint32_t target) {
    std::array<uint8_t, kArpFrameSize> f{};
    uint8_t* p = f.data();
    std::fill(p, p + 6, 0xFF);  // Ethernet destination: broadcast
    std::copy(srcMac.begin(), srcMac.end(), p + 6);
    Put16(p + 12, kEtherTypeArp);
    Put16(p + 14, kHardwareEthernet);
    Put16(p + 16, kProtocolIpv4);
    p[18] = 6;
    p[19] = 4;
    Put16(p + 20, kOpRequest);
    std::copy(srcMac.begin(), srcMac.end(), p + 22);
    PutIp(p + 28, srcIp);
    // Target hardware address stays zero: it is what we ask for.
    PutIp(p + 38, target);
    return f;
}

std::array<uint8_t, kArpFrameSize> BuildUnicastArpRequest(const MacAddress& srcMac, uint32_t srcIp,
                                                          uint32_t target,
                                                          const MacAddress& targetMac) {
    auto f = BuildArpRequest(srcMac, srcIp, target);
    // Only the Ethernet destination changes; the target hardware address stays
    // zero, as in the kernel's own unicast probes.
    std::copy(targetMac.begin(), targetMac.end(), f.begin());
    return f;
}

std::optional<ArpReply> ParseArpReply(std::span<const uint8_t> frame) {
    if (frame.size() < kArpFrameSize) return std::nullopt;
    const uint8_t* p = frame.data();
    if (Get16(p + 12) != kEtherTypeArp || Get16(p + 14) != kHardwareEthernet ||
        Get16(p + 16) != kProtocolIpv4 || p[18] != 6 || p[19] != 4 || Get16(p + 20) != kOpReply)
        return std::nullopt;
    ArpReply r;
    std::copy(p + 22, p + 28, r.senderMac.begin());
    r.senderIp = GetIp(p + 28);
    std::copy(p + 32, p + 38, r.targetMac.begin());
    r.targetIp = GetIp(p + 38);
    const bool zero =
        std::all_of(r.senderMac.begin(), r.senderMac.end(), [](uint8_t b) { return b == 0; });
    const bool group = (r.senderMac[0] & 0x01) != 0;
    if (zero || group) return std::nullopt;
    return r;
}

std::optional<ArpReply> ProvenArpReply(std::span<const uint8_t> frame, uint8_t pktType,
                                       const MacAddress& ownMac, uint32_t ownIp) {
    if (pktType != kPacketHost) return std::nullopt;
    auto reply = ParseArpReply(frame);
    if (!reply) return std::nullopt;
    const uint8_t* p = frame.data();
    if (!std::equal(ownMac.begin(), ownMac.end(), p)) return std::nullopt;
    if (!std::equal(reply->senderMac.begin(), reply->senderMac.end(), p + 6)) return std::nullopt;
    if (reply->targetIp != ownIp || reply->targetMac != ownMac) return std::nullopt;
    return reply;
}

std::optional<ArpSighting> ArpSightingOf(std::span<const uint8_t> frame, uint8_t pktType,
                                         const MacAddress& ownMac, uint32_t ownIp) {
    if (frame.size() < kArpFrameSize) return std::nullopt;
    if (pktType != kPacketHost && pktType != kPacketBroadcast) return std::nullopt;
    const uint8_t* p = frame.data();
    if (Get16(p + 12) != kEtherTypeArp || Get16(p + 14) != kHardwareEthernet ||
        Get16(p + 16) != kProtocolIpv4 || p[18] != 6 || p[19] != 4)
        return std::nullopt;
    const uint16_t op = Get16(p + 20);
    // A gratuitous reply goes to everybody; a reply to this machine is an answer.
    if (op != kOpRequest && !(op == kOpReply && pktType == kPacketBroadcast)) return std::nullopt;
    ArpSighting s;
    std::copy(p + 22, p + 28, s.mac.begin());
    if (!std::equal(s.mac.begin(), s.mac.end(), p + 6) || s.mac == ownMac || (s.mac[0] & 0x01) ||
        std::all_of(s.mac.begin(), s.mac.end(), [](uint8_t b) { return b == 0; }))
        return std::nullopt;
    const uint32_t sender = GetIp(p + 28), target = GetIp(p + 38);
    s.ip = sender != 0 ? sender : (op == kOpRequest ? target : 0);
    const uint32_t mask24 = 0x00FFFFFF;  // network byte order
    const uint8_t last = p[sender != 0 ? 31 : 41];
    if (s.ip == 0 || s.ip == ownIp || (s.ip & mask24) != (ownIp & mask24) || last == 0 ||
        last == 255)
        return std::nullopt;
    return s;
}

std::string MacText(const MacAddress& mac) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < mac.size(); ++i) {
        if (i) out += '-';
        out += kHex[mac[i] >> 4];
        out += kHex[mac[i] & 0xF];
    }
    return out;
}

std::optional<MacAddress> ParseMacText(std::string_view text) {
    if (text.size() != 17) return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    MacAddress mac{};
    for (size_t i = 0; i < 6; ++i) {
        if (i && text[3 * i - 1] != '-') return std::nullopt;
        const int hi = nibble(text[3 * i]), lo = nibble(text[3 * i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        mac[i] = uint8_t(hi << 4 | lo);
    }
    return mac;
}

}  // namespace rm
