// The ways of sweeping a host range: raw ARP through router-monitor-arp (the
// helper that alone holds CAP_NET_RAW), or the kernel's neighbour table when no
// helper can serve. Free of Qt widgets, so the command-line scanner and the
// window share it.
#pragma once

#include <atomic>
#include <memory>
#include <span>
#include <string>

#include "core/ArpSweep.h"

namespace rm {

class ArpHelperClient;

// A way to sweep. Run returns when every host has answered, at the deadline, or
// soon after `cancelled` turns true; it reports each answering host once.
class SweepMethod {
  public:
    virtual ~SweepMethod() = default;
    // Gets ready for sweeps of `hosts` (starts a helper), so that the first
    // sweep does not pay for it; Run does it too when needed.
    virtual void Prepare(std::span<const SweepHost> hosts) { (void)hosts; }
    virtual void Run(const InterfaceInfo& ifc, std::span<const SweepHost> hosts,
                     SweepClock::time_point start, const AnswerFn& answer,
                     const std::atomic<bool>& cancelled) = 0;
    // The way the last Run took.
    virtual const char* Name() const = 0;
    // The sweeps of one scan follow (the monitor's mode asks its later sweeps
    // less; see SweepMode::Follow).
    virtual void BeginScan() {}
    // Told, on the sweeping thread, of each MAC that contradicted the one a
    // host of the sweep is listed with.
    using ConflictFn = std::function<void(const SweepHost&, const MacAddress& other)>;
    void OnConflict(ConflictFn fn) { conflict_ = std::move(fn); }

  protected:
    ConflictFn conflict_;
};

// Raw ARP through a helper of its own (`helperPath` empty: router-monitor-arp
// beside this program), each sweep tagged with its number so that late answers
// of an earlier one are dropped, asking as hard as `mode` says (the helper
// keeps the memory of the Monitor mode, so consecutive sweeps of one method
// share it). Where the helper cannot serve (not installed, no capability, a
// network it refuses) the kernel sweep runs instead.
// In Monitor mode the first sweep after BeginScan (or after a pause, or of
// another range) is the scan's first, the others its later sweeps.
std::unique_ptr<SweepMethod> MakeArpSweep(std::string helperPath = {}, SweepTiming timing = {},
                                          SweepMode mode = SweepMode::Thorough);
// The same through `helper`, a client that the window's probe shares.
std::unique_ptr<SweepMethod> MakeArpSweepThrough(std::shared_ptr<ArpHelperClient> helper,
                                                 SweepTiming timing, SweepMode mode);

// The unprivileged method: one datagram per address makes the kernel resolve
// them, its neighbour table is read a few times until the deadline. It lists
// what the kernel believes, so a host that left stays listed until its entry
// stops being REACHABLE (tens of seconds).
std::unique_ptr<SweepMethod> MakeKernelSweep(SweepTiming timing = {});

}  // namespace rm
