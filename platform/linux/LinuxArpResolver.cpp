// The Linux SendARP: own addresses answered locally, neighbours through
// router-monitor-arp's raw ARP request or through the kernel's neighbour table.
#include "platform/linux/LinuxArpResolver.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/linux/ArpHelperClient.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/NeighbourTable.h"
#include "platform/linux/RawArpSocket.h"

namespace rm {

namespace {

using SteadyClock = std::chrono::steady_clock;

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

LinuxArpResolver::LinuxArpResolver(Path path, std::chrono::milliseconds timeout,
                                   std::string helperPath)
    : path_(path),
      last_(path == Path::Auto ? Path::Kernel : path),
      timeout_(timeout),
      helper_(std::make_shared<ArpHelperClient>(std::move(helperPath))) {}

LinuxArpResolver::LinuxArpResolver(std::shared_ptr<ArpHelperClient> helper, Path path,
                                   std::chrono::milliseconds timeout)
    : path_(path),
      last_(path == Path::Auto ? Path::Kernel : path),
      timeout_(timeout),
      helper_(std::move(helper)) {}

LinuxArpResolver::~LinuxArpResolver() = default;

LinuxArpResolver::Path LinuxArpResolver::ActivePath() const {
    return last_;
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

    // The helper's start-up counts against the same time limit.
    const auto deadline = SteadyClock::now() + timeout_;
    std::optional<MacAddress> answer;
    if (path_ != Path::Kernel && helper_->ServeNetworkOf(dest)) {
        last_ = Path::Raw;
        answer = helper_->Probe(dest, deadline);
    } else if (path_ == Path::Raw) {
        last_ = Path::Raw;
    } else {
        last_ = Path::Kernel;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
        answer = ResolveThroughKernel(dest, std::max(left, std::chrono::milliseconds(0)));
    }
    if (!answer) return kNoAnswer;
    const uint32_t n = std::min<uint32_t>(*len, uint32_t(answer->size()));
    std::memcpy(mac, answer->data(), n);
    *len = n;
    return 0;
}

std::unique_ptr<ArpResolver> MakeLinuxArpResolver(std::shared_ptr<ArpHelperClient> helper) {
    if (helper) return std::make_unique<LinuxArpResolver>(std::move(helper));
    return std::make_unique<LinuxArpResolver>();
}

}  // namespace rm
