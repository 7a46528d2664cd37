// Reads the default route from /proc/net/route, which shows the routing table
// of the caller's own network namespace.
#include "platform/linux/DefaultRoute.h"

#include <fstream>
#include <sstream>

namespace rm {

std::optional<DefaultRoute> FindDefaultRoute() {
    std::ifstream in("/proc/net/route");
    std::string line;
    std::getline(in, line);  // column titles
    std::optional<DefaultRoute> best;
    unsigned long bestMetric = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string iface;
        unsigned long dest = 0, gateway = 0, flags = 0, refcnt = 0, use = 0, metric = 0, mask = 0;
        fields >> iface >> std::hex >> dest >> gateway >> flags >> std::dec >> refcnt >> use >>
            metric >> std::hex >> mask;
        if (!fields || dest != 0 || mask != 0) continue;
        constexpr unsigned long kRouteUp = 0x1;
        if (!(flags & kRouteUp)) continue;
        if (best && metric >= bestMetric) continue;
        // The kernel prints the values as they lie in memory, so the number read
        // back is already in network byte order.
        best = DefaultRoute{iface, uint32_t(gateway)};
        bestMetric = metric;
    }
    return best;
}

}  // namespace rm
