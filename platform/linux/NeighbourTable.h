// The unprivileged way to learn a neighbour's hardware address: make the kernel
// resolve it (one UDP datagram to the address) and read the kernel's neighbour
// table over rtnetlink. A STALE entry is not an answer: the datagram makes the
// kernel probe it again, and only REACHABLE (or PERMANENT/NOARP) counts, or a
// STALE entry whose host answers the datagram itself (ICMP port unreachable),
// since the kernel's own re-probe waits 5 s.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "core/ArpFrame.h"

namespace rm {

enum class NeighbourState { Reachable, Stale, Incomplete, Failed, Other };

struct Neighbour {
    uint32_t ip = 0;  // network byte order
    int ifindex = 0;
    NeighbourState state = NeighbourState::Other;
    std::optional<MacAddress> mac;
};

// One RTM_GETNEIGH dump of the IPv4 neighbour table.
std::vector<Neighbour> DumpNeighbours();

// Sends one UDP datagram to each address (network byte order) so that the kernel
// resolves it. Uses a fresh socket with SO_BROADCAST; returns false on failure.
bool NudgeKernelResolver(const std::vector<uint32_t>& addresses);

// Resolves one address: nudge, then watch the neighbour table until it is
// REACHABLE (its MAC) or FAILED, or the timeout passes (nothing).
std::optional<MacAddress> ResolveThroughKernel(uint32_t ip, std::chrono::milliseconds timeout);

}  // namespace rm
