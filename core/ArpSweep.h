// One raw sweep of a host range: the hosts to ask, the schedule of attempts,
// and the loop that sends requests and counts the replies that prove
// themselves. Free of Qt: router-monitor-arp runs it, the scanners share the
// host list and the timing.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/ArpFrame.h"
#include "core/SweepSchedule.h"

namespace rm {

// What the sender needs to know about the interface that carries an address.
struct InterfaceInfo {
    int index = 0;
    std::string name;
    MacAddress mac{};
    uint32_t ip = 0;       // this machine's address there, network byte order
    uint32_t netmask = 0;  // network byte order
};

struct SweepHost {
    int number = 0;   // the host number appended to the prefix
    uint32_t ip = 0;  // network byte order; 0 when prefix and number make no address
};

// The hosts of one call: every number first..last after clamping to 0..255, in
// order. A first number above the last gives no host at all.
std::vector<SweepHost> HostsOfRange(const char* prefix, int32_t first, int32_t last);

// Index of each host's address; hosts without an address are never asked.
struct HostIndex {
    std::unordered_map<uint32_t, size_t> byIp;
    explicit HostIndex(std::span<const SweepHost> hosts);
};

// Waits are cut into slices so that a newer sweep never waits long for an older one.
inline constexpr std::chrono::milliseconds kSweepSlice{40};

// The time left until `t`, rounded up: a wait of less than a millisecond is a
// wait of one, not a poll that returns at once and spins until the time has come.
std::chrono::milliseconds Until(SweepClock::time_point t);

// Called for each host once, on the sweep's thread, as its answer arrives.
using AnswerFn = std::function<void(const SweepHost&, const MacAddress&)>;

// The frames side of the raw sweep, so that the loop can be driven by a
// simulated network in tests.
class ArpLink {
  public:
    virtual ~ArpLink() = default;
    virtual void Drain() = 0;
    virtual bool Send(std::span<const uint8_t> frame) = 0;
    virtual std::optional<ReceivedFrame> Receive(std::chrono::milliseconds timeout) = 0;
};

// Called when two MACs answer for one address within a sweep, or an address's
// MAC flips back to the one it had before: `kept` is the MAC the entry keeps
// (the one the memory knew), `other` the contradicting one.
using ConflictFn =
    std::function<void(const SweepHost&, const MacAddress& kept, const MacAddress& other)>;

// The raw sweep: a broadcast request for every silent host at each of
// `timing.attempts` (with `timing.sliceOnly`, the first only for the slice of
// the silent addresses that the scan's budget in `memory` allows, the others
// only for the known devices that stay silent), and at each of
// `timing.unicasts` a unicast one for every silent host that `memory` knows or
// heard speaking (a sighting: asked at once when heard mid-sweep, and at most
// five times; at most sixteen of them a sweep). A
// frame counts only when ProvenArpReply takes it and its sender is a host of
// the range. A host's first answer counts, unless the memory knows it by
// another MAC: then the known MAC is waited for, and if it answers too the
// entry keeps it and `conflict` is told; a new MAC alone by the end is a
// change (or a conflict, when it is the MAC the address had before). A second
// MAC after the entry is made is a conflict. `memory` learns the answers that
// made entries, never a conflict's MAC. This machine's own address is answered
// with the interface's MAC without asking the wire: the kernel does not answer
// requests it sent itself.
void RunArpSweep(ArpLink& link, const InterfaceInfo& ifc, std::span<const SweepHost> hosts,
                 SweepClock::time_point start, const SweepTiming& timing, const AnswerFn& answer,
                 const std::atomic<bool>& cancelled, SweepMemory* memory = nullptr,
                 const ConflictFn& conflict = {});

}  // namespace rm
