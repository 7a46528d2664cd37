// The socket control's LocalIP on Linux: the source address the kernel picks for
// the default route, else the first address that is not loopback.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "platform/linux/DefaultRoute.h"
#include "platform/linux/LinuxPlatform.h"

namespace rm {

namespace {

std::string TextOf(uint32_t ip) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = ip;
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

// Connecting a UDP socket only looks up the route and fixes the source address;
// nothing is sent.
std::optional<uint32_t> SourceFor(uint32_t dest) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    to.sin_addr.s_addr = dest;
    std::optional<uint32_t> source;
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) == 0 &&
        local.sin_addr.s_addr != 0)
        source = local.sin_addr.s_addr;
    close(fd);
    return source;
}

std::optional<uint32_t> FirstNonLoopback() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return std::nullopt;
    std::optional<uint32_t> found;
    for (ifaddrs* a = list; a && !found; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || (a->ifa_flags & IFF_LOOPBACK))
            continue;
        found = reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr;
    }
    freeifaddrs(list);
    return found;
}

class LinuxLocalAddress : public LocalAddress {
  public:
    std::string LocalIp() override {
        if (const auto route = FindDefaultRoute()) {
            // A default route without a gateway reaches everything off-net
            // directly: any such address (here TEST-NET-2) selects it.
            const uint32_t dest = route->gateway ? route->gateway : inet_addr("198.51.100.1");
            if (const auto source = SourceFor(dest)) return TextOf(*source);
        }
        if (const auto first = FirstNonLoopback()) return TextOf(*first);
        return {};
    }
};

}  // namespace

std::unique_ptr<LocalAddress> MakeLinuxLocalAddress() {
    return std::make_unique<LinuxLocalAddress>();
}

}  // namespace rm
