// The IPv4 default route of this machine's (network namespace's) routing table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rm {

struct DefaultRoute {
    std::string interface;
    uint32_t gateway = 0;  // network byte order; 0 for a route straight onto the link
};

// The default route with the lowest metric, if there is one.
std::optional<DefaultRoute> FindDefaultRoute();

}  // namespace rm
