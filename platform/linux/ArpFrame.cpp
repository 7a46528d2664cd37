// Building ARP requests and parsing ARP replies (RFC 826 over Ethernet).
#include "platform/linux/ArpFrame.h"

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

}  // namespace rm
