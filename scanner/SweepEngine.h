// One sweep of a host range: the hosts to ask, the schedule of attempts, and the
// two ways of finding who answers (raw ARP frames, or the kernel's neighbour
// table when the process may not send raw frames). Free of Qt widgets, so the
// command-line scanner and the window share it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/linux/ArpFrame.h"
#include "platform/linux/RawArpSocket.h"

namespace rm {

using SweepClock = std::chrono::steady_clock;

struct SweepHost {
    int number = 0;   // the host number appended to the prefix
    uint32_t ip = 0;  // network byte order; 0 when prefix and number make no address
};

// The hosts of one call: every number first..last after clamping to 0..255, in
// order. A first number above the last gives no host at all.
std::vector<SweepHost> HostsOfRange(const char* prefix, int32_t first, int32_t last);

// When requests go out, relative to the start of the sweep, and when the sweep
// gives up on the silent hosts. Several attempts spread over the window, because
// with a tenth of the frames lost each way a single attempt misses a host in
// five; seven attempts leave about one host in a hundred thousand unheard.
struct SweepTiming {
    static std::vector<std::chrono::milliseconds> Ms(std::initializer_list<int> values) {
        return {values.begin(), values.end()};
    }
    std::vector<std::chrono::milliseconds> attempts = Ms({0, 50, 120, 220, 380, 600, 850});
    std::chrono::milliseconds deadline{1150};
    // Requests go out in bursts of this many, a millisecond apart: a few
    // thousand frames a second, which neither a switch nor the kernel's input
    // backlog of a busy machine drops, and a /24 in about 60 ms.
    size_t burst = 4;
};

// Called for each host once, on the sweep's thread, as its answer arrives.
using AnswerFn = std::function<void(const SweepHost&, const MacAddress&)>;

// The frames side of the raw sweep, so that the engine can be driven by a
// simulated network in tests.
class ArpLink {
  public:
    virtual ~ArpLink() = default;
    virtual void Drain() = 0;
    virtual bool Send(std::span<const uint8_t> frame) = 0;
    virtual std::optional<std::vector<uint8_t>> Receive(std::chrono::milliseconds timeout) = 0;
};

// A way to sweep. Run returns when every host has answered, at the deadline, or
// soon after `cancelled` turns true; it reports each answering host once.
class SweepMethod {
  public:
    virtual ~SweepMethod() = default;
    virtual void Run(const InterfaceInfo& ifc, std::span<const SweepHost> hosts,
                     SweepClock::time_point start, const AnswerFn& answer,
                     const std::atomic<bool>& cancelled) = 0;
    virtual const char* Name() const = 0;
};

// The raw sweep: requests for every silent host at each attempt, replies
// checked frame by frame (an ARP reply, addressed to this machine, from an
// address of the range; the first answer of a host counts). This machine's own
// address is answered with the interface's MAC without asking the wire: the
// kernel does not answer requests that it sent itself.
void RunArpSweep(ArpLink& link, const InterfaceInfo& ifc, std::span<const SweepHost> hosts,
                 SweepClock::time_point start, const SweepTiming& timing, const AnswerFn& answer,
                 const std::atomic<bool>& cancelled);

// The raw method over an AF_PACKET socket.
std::unique_ptr<SweepMethod> MakeRawSweep(std::shared_ptr<RawArpSocket> socket,
                                          SweepTiming timing = {});

// The unprivileged method: one datagram per address makes the kernel resolve
// them, its neighbour table is read a few times until the deadline. It lists
// what the kernel believes, so a host that left stays listed until its entry
// stops being REACHABLE (tens of seconds).
std::unique_ptr<SweepMethod> MakeKernelSweep(SweepTiming timing = {});

}  // namespace rm
