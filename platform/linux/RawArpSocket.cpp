// The bound AF_PACKET socket, its reply filter, the interface lookups and the
// capability drops.
#include "platform/linux/RawArpSocket.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/capability.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace rm {

namespace {

constexpr uint32_t kMask24 = 0x00FFFFFF;  // the first three bytes, in network byte order

// Fills in the hardware address of `info` from the AF_PACKET entries of `list`.
bool FindMac(ifaddrs* list, InterfaceInfo& info) {
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_PACKET) continue;
        if (info.name != a->ifa_name) continue;
        const auto* ll = reinterpret_cast<sockaddr_ll*>(a->ifa_addr);
        if (ll->sll_halen != 6) return false;
        std::memcpy(info.mac.data(), ll->sll_addr, 6);
        return true;
    }
    return false;
}

bool UsableIpv4(const ifaddrs* a) {
    return a->ifa_addr && a->ifa_addr->sa_family == AF_INET && a->ifa_netmask &&
           (a->ifa_flags & IFF_UP) && !(a->ifa_flags & (IFF_LOOPBACK | IFF_NOARP));
}

}  // namespace

std::optional<InterfaceInfo> InterfaceFor(uint32_t ip) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return std::nullopt;
    std::optional<InterfaceInfo> best;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!UsableIpv4(a)) continue;
        const uint32_t addr = reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr;
        const uint32_t mask = reinterpret_cast<sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr;
        if ((addr & mask) != (ip & mask)) continue;
        if (best && ntohl(mask) <= ntohl(best->netmask)) continue;
        InterfaceInfo info;
        info.name = a->ifa_name;
        info.index = int(if_nametoindex(a->ifa_name));
        info.ip = addr;
        info.netmask = mask;
        if (info.index > 0) best = info;
    }
    if (best) FindMac(list, *best);
    freeifaddrs(list);
    return best;
}

std::optional<InterfaceInfo> InterfaceOn24(uint32_t ip) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return std::nullopt;
    std::optional<InterfaceInfo> found;
    bool ambiguous = false;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!UsableIpv4(a)) continue;
        const uint32_t addr = reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr;
        if ((addr & kMask24) != (ip & kMask24)) continue;
        if (found) {
            ambiguous = ambiguous || found->name != a->ifa_name;
            continue;
        }
        InterfaceInfo info;
        info.name = a->ifa_name;
        info.index = int(if_nametoindex(a->ifa_name));
        info.ip = addr;
        info.netmask = reinterpret_cast<sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr;
        if (info.index > 0 && FindMac(list, info)) found = info;
    }
    freeifaddrs(list);
    if (ambiguous) return std::nullopt;
    return found;
}

std::vector<sock_filter> ReplyFilterCode(const MacAddress& mac, uint32_t ip) {
    // A small assembler: jumps name their targets, resolved once the program
    // is whole (classic BPF jumps only forward).
    enum Label { kNone, kDrop, kAccept, kHost, kReply, kBroadcast, kRequest, kProbe, kCount };
    struct Op {
        sock_filter f;
        Label jt, jf;
    };
    std::vector<Op> ops;
    size_t at[kCount] = {};
    auto here = [&](Label l) { at[l] = ops.size(); };
    auto load = [&](uint16_t size, uint32_t k) {
        ops.push_back({{uint16_t(BPF_LD | size | BPF_ABS), 0, 0, k}, kNone, kNone});
    };
    auto jeq = [&](uint32_t k, Label jt, Label jf) {
        ops.push_back({{BPF_JMP | BPF_JEQ | BPF_K, 0, 0, k}, jt, jf});
    };
    // Falls through when equal, drops otherwise.
    auto expect = [&](uint32_t k) { jeq(k, kNone, kDrop); };
    auto expectX = [&] { ops.push_back({{BPF_JMP | BPF_JEQ | BPF_X, 0, 0, 0}, kNone, kDrop}); };
    auto tax = [&] { ops.push_back({{BPF_MISC | BPF_TAX, 0, 0, 0}, kNone, kNone}); };
    auto mask = [&](uint32_t k) { ops.push_back({{BPF_ALU | BPF_AND | BPF_K, 0, 0, k}, kNone, kNone}); };
    auto ret = [&](uint32_t k) { ops.push_back({{BPF_RET | BPF_K, 0, 0, k}, kNone, kNone}); };
    const uint32_t mac4 =
        uint32_t(mac[0]) << 24 | uint32_t(mac[1]) << 16 | uint32_t(mac[2]) << 8 | mac[3];
    const uint32_t mac2 = uint32_t(mac[4]) << 8 | mac[5];
    const uint32_t network = ntohl(ip) & 0xFFFFFF00;

    // Every frame: Ethernet/IPv4 ARP whose Ethernet source is its sender MAC.
    load(BPF_H, 12);
    expect(ETH_P_ARP);
    load(BPF_H, 14);
    expect(1);  // hardware type Ethernet
    load(BPF_H, 16);
    expect(ETH_P_IP);
    load(BPF_H, 18);
    expect(0x0604);  // hardware length 6, protocol length 4
    load(BPF_W, 6);
    tax();
    load(BPF_W, 22);
    expectX();
    load(BPF_H, 10);
    tax();
    load(BPF_H, 26);
    expectX();
    load(BPF_W, uint32_t(SKF_AD_OFF + SKF_AD_PKTTYPE));
    jeq(PACKET_HOST, kHost, kNone);
    jeq(PACKET_BROADCAST, kBroadcast, kDrop);

    // To this machine: a reply to it, or a request of a neighbour.
    here(kHost);
    load(BPF_H, 20);
    jeq(2, kReply, kNone);
    jeq(1, kRequest, kDrop);
    here(kReply);
    load(BPF_W, 0);
    expect(mac4);
    load(BPF_H, 4);
    expect(mac2);
    load(BPF_W, 38);
    expect(ntohl(ip));
    load(BPF_W, 32);
    expect(mac4);
    load(BPF_H, 36);
    jeq(mac2, kAccept, kDrop);

    // To everybody: a request, or a gratuitous reply (an announcement).
    here(kBroadcast);
    load(BPF_H, 20);
    jeq(1, kRequest, kNone);
    jeq(2, kNone, kDrop);
    load(BPF_W, 28);  // a gratuitous reply names its sender
    jeq(0, kDrop, kNone);
    mask(0xFFFFFF00);
    jeq(network, kAccept, kDrop);
    // A sender on this /24, or an address probe (sender zero) for one.
    here(kRequest);
    load(BPF_W, 28);
    jeq(0, kProbe, kNone);
    mask(0xFFFFFF00);
    jeq(network, kAccept, kDrop);
    here(kProbe);
    load(BPF_W, 38);
    mask(0xFFFFFF00);
    jeq(network, kAccept, kDrop);

    here(kAccept);
    ret(0xFFFF);
    here(kDrop);
    ret(0);

    std::vector<sock_filter> code;
    for (size_t i = 0; i < ops.size(); ++i) {
        sock_filter f = ops[i].f;
        auto offset = [&](Label l) { return l == kNone ? uint8_t(0) : uint8_t(at[l] - i - 1); };
        f.jt = offset(ops[i].jt);
        f.jf = offset(ops[i].jf);
        code.push_back(f);
    }
    return code;
}

std::unique_ptr<RawArpSocket> RawArpSocket::OpenBound(const InterfaceInfo& ifc) {
    // Protocol 0 receives nothing until bind(): no frame slips in before the
    // filter is in place.
    const int fd = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    auto fail = [fd] {
        const int e = errno;
        close(fd);
        errno = e;
        return nullptr;
    };
    std::vector<sock_filter> code = ReplyFilterCode(ifc.mac, ifc.ip);
    sock_fprog prog{static_cast<unsigned short>(code.size()), code.data()};
    if (setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &prog, sizeof prog) != 0) return fail();
    const int on = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_LOCK_FILTER, &on, sizeof on) != 0) return fail();
    sockaddr_ll at{};
    at.sll_family = AF_PACKET;
    at.sll_protocol = htons(ETH_P_ARP);
    at.sll_ifindex = ifc.index;
    if (bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) return fail();
    std::unique_ptr<RawArpSocket> s(new RawArpSocket(fd, ifc.index));
    s->Drain();
    return s;
}

RawArpSocket::~RawArpSocket() {
    if (fd_ >= 0) close(fd_);
}

bool RawArpSocket::Send(std::span<const uint8_t> frame) {
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_protocol = htons(ETH_P_ARP);
    to.sll_ifindex = ifindex_;
    to.sll_halen = 6;
    std::memset(to.sll_addr, 0xFF, 6);
    for (;;) {
        const ssize_t n = sendto(fd_, frame.data(), frame.size(), MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&to), sizeof to);
        if (n == ssize_t(frame.size())) return true;
        if (n < 0 && errno == EINTR) continue;
        return false;
    }
}

std::optional<ReceivedFrame> RawArpSocket::TryReceive() {
    ReceivedFrame f;
    f.bytes.resize(256);  // an ARP frame is 42..64 bytes; the rest is cut, which is fine
    for (;;) {
        sockaddr_ll from{};
        socklen_t fromLen = sizeof from;
        const ssize_t n = recvfrom(fd_, f.bytes.data(), f.bytes.size(), MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        f.bytes.resize(size_t(n));
        f.pktType = from.sll_pkttype;
        if (from.sll_ifindex != ifindex_) f.pktType = PACKET_OTHERHOST;
        return f;
    }
}

void RawArpSocket::Drain() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(2);
    uint8_t buf[256];
    for (int i = 0; i < 512 && std::chrono::steady_clock::now() < end; ++i) {
        if (recv(fd_, buf, sizeof buf, MSG_DONTWAIT) < 0 && errno != EINTR) return;
    }
}

namespace {

bool OwnSetsEmpty() {
    cap_t now = cap_get_proc();
    cap_t none = cap_init();
    const bool empty = now && none && cap_compare(now, none) == 0;
    if (now) cap_free(now);
    if (none) cap_free(none);
    if (!empty) return false;
    for (cap_value_t c = 0; c < cap_max_bits(); ++c) {
        if (cap_get_ambient(c) > 0) return false;
    }
    return true;
}

bool ClearOwnSets() {
    cap_reset_ambient();
    cap_t none = cap_init();
    if (!none) return false;
    const int r = cap_set_proc(none);
    cap_free(none);
    return r == 0 && OwnSetsEmpty();
}

}  // namespace

bool DropCapabilitiesForGood() {
    // The bounding set first: dropping it needs CAP_SETPCAP, which the last step
    // removes. A helper given only cap_net_raw cannot drop it, and needs not:
    // with no_new_privs no later execve may gain anything.
    cap_t cur = cap_get_proc();
    cap_flag_value_t canSet = CAP_CLEAR;
    if (cur) cap_get_flag(cur, CAP_SETPCAP, CAP_EFFECTIVE, &canSet);
    if (cur) cap_free(cur);
    if (canSet == CAP_SET) {
        for (cap_value_t c = 0; c < cap_max_bits(); ++c) cap_drop_bound(c);
    }
    if (!ClearOwnSets()) return false;
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
}

bool DropOwnCapabilities() {
    return ClearOwnSets();
}

}  // namespace rm
