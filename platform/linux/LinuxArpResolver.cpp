// The Linux SendARP: own addresses answered locally, neighbours through a raw
// ARP request or, unprivileged, through the kernel's neighbour table.
#include "platform/linux/LinuxArpResolver.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/NeighbourTable.h"
#include "platform/linux/RawArpSocket.h"

namespace rm {

namespace {

using SteadyClock = std::chrono::steady_clock;
// A lost request or reply is tried again within the time limit.
constexpr std::chrono::milliseconds kResendEvery(250);

// The hardware address of the interface holding `ip` when it is one of this
// machine's own addresses (Windows answers those from the adapter itself).
std::optional<std::vector<uint8_t>> OwnHardwareAddress(uint32_t ip) {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return std::nullopt;
    std::string name;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET &&
            reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr == ip) {
            name = a->ifa_name;
            break;
        }
    }
    std::optional<std::vector<uint8_t>> mac;
    for (ifaddrs* a = list; a && !name.empty(); a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_PACKET || name != a->ifa_name) continue;
        const auto* ll = reinterpret_cast<sockaddr_ll*>(a->ifa_addr);
        mac.emplace(ll->sll_addr, ll->sll_addr + std::min<int>(ll->sll_halen, 8));
        break;
    }
    freeifaddrs(list);
    return mac;
}

bool IsUnicast(uint32_t ip) {
    const uint32_t h = ntohl(ip);
    return h != 0 && h != INADDR_BROADCAST && !IN_MULTICAST(h) && (h >> 24) != 0;
}

}  // namespace

LinuxArpResolver::LinuxArpResolver(Path path, std::chrono::milliseconds timeout)
    : path_(path), timeout_(timeout) {}

LinuxArpResolver::~LinuxArpResolver() = default;

LinuxArpResolver::Path LinuxArpResolver::ActivePath() {
    if (!decided_) {
        decided_ = true;
        if (path_ != Path::Kernel) {
            // The socket opened at start-up (before the capabilities were dropped),
            // else one of our own while the process still may open it.
            socket_ = RawArpSocket::Shared();
            if (!socket_) socket_ = RawArpSocket::Open();
        }
        if (path_ == Path::Auto) path_ = socket_ ? Path::Raw : Path::Kernel;
    }
    return path_;
}

std::optional<MacAddress> LinuxArpResolver::ResolveRaw(uint32_t dest) {
    if (!socket_) return std::nullopt;
    const std::optional<InterfaceInfo> ifc = InterfaceFor(dest);
    if (!ifc) return std::nullopt;
    const auto request = BuildArpRequest(ifc->mac, ifc->ip, dest);
    socket_->Drain();  // replies to somebody's earlier question are no answer to ours

    const auto deadline = SteadyClock::now() + timeout_;
    auto nextSend = SteadyClock::now();
    for (;;) {
        const auto now = SteadyClock::now();
        if (now >= deadline) return std::nullopt;
        if (now >= nextSend) {
            socket_->Send(*ifc, request);
            nextSend = now + kResendEvery;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::min(deadline, nextSend) - SteadyClock::now());
        const auto frame =
            socket_->Receive(ifc->index, std::max(wait, std::chrono::milliseconds(0)));
        if (!frame) continue;
        // Only the asked address answering us counts: other opcodes, replies meant
        // for someone else and senders claiming other addresses are ignored.
        const auto reply = ParseArpReply(*frame);
        if (reply && reply->senderIp == dest && reply->targetIp == ifc->ip) return reply->senderMac;
    }
}

uint32_t LinuxArpResolver::SendArp(uint32_t dest, uint32_t, uint8_t* mac, uint32_t* len) {
    if (!mac || !len || *len == 0) return kInvalidParameter;

    if (auto own = OwnHardwareAddress(dest)) {
        const uint32_t n = std::min<uint32_t>(*len, uint32_t(own->size()));
        std::memcpy(mac, own->data(), n);
        *len = n;
        return 0;
    }
    if (!IsUnicast(dest)) return kInvalidParameter;

    // Only neighbours on one of our networks can answer; anything else would
    // just wait out the time limit.
    if (!InterfaceFor(dest)) return kNoAnswer;

    const std::optional<MacAddress> answer =
        ActivePath() == Path::Raw ? ResolveRaw(dest) : ResolveThroughKernel(dest, timeout_);
    if (!answer) return kNoAnswer;
    const uint32_t n = std::min<uint32_t>(*len, uint32_t(answer->size()));
    std::memcpy(mac, answer->data(), n);
    *len = n;
    return 0;
}

std::unique_ptr<ArpResolver> MakeLinuxArpResolver() {
    return std::make_unique<LinuxArpResolver>();
}

}  // namespace rm
