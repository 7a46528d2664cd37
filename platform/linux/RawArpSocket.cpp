// The AF_PACKET transport for ARP, the lookup of the interface that carries an
// address, and the capability drop that follows opening the sockets.
#include "platform/linux/RawArpSocket.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/capability.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace rm {

namespace {

std::shared_ptr<RawArpSocket>& ProbeSocket() {
    static std::shared_ptr<RawArpSocket> s;
    return s;
}

std::shared_ptr<RawArpSocket>& ScannerSocket() {
    static std::shared_ptr<RawArpSocket> s;
    return s;
}

// Only ARP replies reach user space: on a busy network most ARP traffic is
// requests, and every frame let through wakes the waiting thread.
bool AttachReplyFilter(int fd) {
    static sock_filter code[] = {
        {BPF_LD | BPF_H | BPF_ABS, 0, 0, 12},  // ethertype
        {BPF_JMP | BPF_JEQ | BPF_K, 0, 3, ETH_P_ARP},
        {BPF_LD | BPF_H | BPF_ABS, 0, 0, 20},  // ARP opcode
        {BPF_JMP | BPF_JEQ | BPF_K, 0, 1, 2},
        {BPF_RET | BPF_K, 0, 0, 0xFFFF},
        {BPF_RET | BPF_K, 0, 0, 0},
    };
    sock_fprog prog{static_cast<unsigned short>(std::size(code)), code};
    return setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &prog, sizeof prog) == 0;
}

// Rounded up, so that a wait of a millisecond sleeps instead of polling at once
// and returning empty-handed (which made the sweep spin between its bursts).
int64_t RemainingMs(std::chrono::steady_clock::time_point end) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    return left.count();
}

}  // namespace

std::optional<InterfaceInfo> InterfaceFor(uint32_t ip) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return std::nullopt;
    std::optional<InterfaceInfo> best;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !a->ifa_netmask) continue;
        if (!(a->ifa_flags & IFF_UP) || (a->ifa_flags & (IFF_LOOPBACK | IFF_NOARP))) continue;
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
    if (best) {
        for (ifaddrs* a = list; a; a = a->ifa_next) {
            if (!a->ifa_addr || a->ifa_addr->sa_family != AF_PACKET) continue;
            if (best->name != a->ifa_name) continue;
            const auto* ll = reinterpret_cast<sockaddr_ll*>(a->ifa_addr);
            if (ll->sll_halen == 6) std::memcpy(best->mac.data(), ll->sll_addr, 6);
        }
    }
    freeifaddrs(list);
    return best;
}

std::shared_ptr<RawArpSocket> RawArpSocket::Open() {
    const int fd = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(ETH_P_ARP));
    if (fd < 0) return nullptr;
    AttachReplyFilter(fd);  // an optimisation: the callers check every frame anyway
    return std::shared_ptr<RawArpSocket>(new RawArpSocket(fd));
}

std::shared_ptr<RawArpSocket> RawArpSocket::Shared() {
    return ProbeSocket();
}

std::shared_ptr<RawArpSocket> RawArpSocket::SharedForScanner() {
    return ScannerSocket();
}

void RawArpSocket::OpenShared() {
    static std::once_flag once;
    std::call_once(once, [] {
        ProbeSocket() = Open();
        ScannerSocket() = Open();
    });
}

RawArpSocket::~RawArpSocket() {
    if (fd_ >= 0) close(fd_);
}

bool RawArpSocket::Send(const InterfaceInfo& ifc, std::span<const uint8_t> frame) {
    sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_protocol = htons(ETH_P_ARP);
    to.sll_ifindex = ifc.index;
    to.sll_halen = 6;
    std::memset(to.sll_addr, 0xFF, 6);
    for (;;) {
        const ssize_t n =
            sendto(fd_, frame.data(), frame.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        if (n == ssize_t(frame.size())) return true;
        if (n < 0 && errno == EINTR) continue;
        return false;
    }
}

std::optional<std::vector<uint8_t>> RawArpSocket::Receive(int ifindex,
                                                          std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    std::vector<uint8_t> buf(2048);
    for (;;) {
        const int64_t left = RemainingMs(end);
        pollfd p{fd_, POLLIN, 0};
        const int r = poll(&p, 1, int(std::max<int64_t>(left, 0)));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return std::nullopt;
        sockaddr_ll from{};
        socklen_t fromLen = sizeof from;
        const ssize_t n = recvfrom(fd_, buf.data(), buf.size(), MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (n >= 0 && from.sll_ifindex == ifindex && from.sll_pkttype != PACKET_OUTGOING) {
            buf.resize(size_t(n));
            return buf;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return std::nullopt;
        if (left <= 0) return std::nullopt;
    }
}

void RawArpSocket::Drain() {
    uint8_t buf[2048];
    while (recv(fd_, buf, sizeof buf, MSG_DONTWAIT) >= 0) {
    }
}

void DropAllCapabilities() {
    // Ambient and bounding sets first: the last step removes the CAP_SETPCAP
    // that dropping the bounding set needs.
    cap_reset_ambient();
    if (CAP_IS_SUPPORTED(CAP_SETPCAP)) {
        cap_t cur = cap_get_proc();
        cap_flag_value_t canSet = CAP_CLEAR;
        if (cur) cap_get_flag(cur, CAP_SETPCAP, CAP_EFFECTIVE, &canSet);
        if (canSet == CAP_SET) {
            for (cap_value_t c = 0; c <= cap_max_bits() - 1; ++c) {
                if (CAP_IS_SUPPORTED(c)) cap_drop_bound(c);
            }
        }
        if (cur) cap_free(cur);
    }
    cap_t none = cap_init();
    if (none) {
        cap_set_proc(none);
        cap_free(none);
    }
}

}  // namespace rm
