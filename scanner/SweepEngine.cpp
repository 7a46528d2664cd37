// The sweep through router-monitor-arp and the kernel-table fallback.
#include "scanner/SweepEngine.h"

#include <arpa/inet.h>

#include <algorithm>
#include <string>
#include <thread>
#include <unordered_map>

#include "platform/linux/ArpHelperClient.h"
#include "platform/linux/NeighbourTable.h"

namespace rm {

namespace {

using std::chrono::milliseconds;

class KernelSweep : public SweepMethod {
  public:
    explicit KernelSweep(SweepTiming timing) : timing_(std::move(timing)) {}
    void Run(const InterfaceInfo& ifc, std::span<const SweepHost> hosts,
             SweepClock::time_point start, const AnswerFn& answer,
             const std::atomic<bool>& cancelled) override;
    const char* Name() const override { return "kernel neighbour table"; }

  private:
    SweepTiming timing_;
};

void KernelSweep::Run(const InterfaceInfo& ifc, std::span<const SweepHost> hosts,
                      SweepClock::time_point start, const AnswerFn& answer,
                      const std::atomic<bool>& cancelled) {
    HostIndex index(hosts);
    std::vector<bool> answered(hosts.size(), false);
    size_t left = 0;
    std::vector<uint32_t> asked;
    for (size_t i = 0; i < hosts.size(); ++i) {
        if (hosts[i].ip == ifc.ip) {
            answered[i] = true;
            answer(hosts[i], ifc.mac);
        } else if (hosts[i].ip != 0) {
            asked.push_back(hosts[i].ip);
            ++left;
        }
    }
    if (left == 0) return;
    NudgeKernelResolver(asked);
    // The table is read a few times so that present hosts show early; the last
    // read comes after the kernel's own one-second retry of a lost reply.
    const milliseconds reads[] = {milliseconds(150), milliseconds(400), milliseconds(750),
                                  timing_.deadline};
    for (milliseconds at : reads) {
        while (!cancelled && SweepClock::now() < start + at) {
            std::this_thread::sleep_for(std::min(kSweepSlice, Until(start + at)));
        }
        if (cancelled) return;
        for (const Neighbour& n : DumpNeighbours()) {
            if (n.ifindex != ifc.index || n.state != NeighbourState::Reachable || !n.mac) continue;
            auto it = index.byIp.find(n.ip);
            if (it == index.byIp.end() || answered[it->second]) continue;
            answered[it->second] = true;
            answer(hosts[it->second], *n.mac);
            --left;
        }
        if (left == 0) return;
    }
}

// The helper's sweep, the kernel's where the helper cannot serve.
class HelperSweep : public SweepMethod {
  public:
    HelperSweep(std::shared_ptr<ArpHelperClient> helper, SweepTiming timing, SweepMode mode)
        : helper_(std::move(helper)),
          kernel_(timing),
          timing_(std::move(timing)),
          mode_(mode) {}

    void Prepare(std::span<const SweepHost> hosts) override {
        if (const SweepHost* any = AnyAddress(hosts)) helper_->ServeNetworkOf(any->ip);
    }

    void BeginScan() override { scanBegins_ = true; }

    void Run(const InterfaceInfo& ifc, std::span<const SweepHost> hosts,
             SweepClock::time_point start, const AnswerFn& answer,
             const std::atomic<bool>& cancelled) override {
        const SweepHost* any = AnyAddress(hosts);
        if (!any) return;
        if (!helper_->ServeNetworkOf(any->ip)) {
            raw_ = false;
            kernel_.Run(ifc, hosts, start, answer, cancelled);
            return;
        }
        raw_ = true;
        const int first = hosts.front().number;
        // A little past the helper's own deadline: its last answers and its
        // "done" are on their way.
        const auto deadline = start + timing_.deadline + milliseconds(30);
        auto number = [&](int n) -> const SweepHost& { return hosts[size_t(n - first)]; };
        helper_->Sweep(
            first, hosts.back().number, deadline,
            [&](int n, const MacAddress& mac) { answer(number(n), mac); }, cancelled,
            SweepModeWord(ModeOf(any->ip, first, hosts.back().number, start)),
            [&](int n, const MacAddress& other) {
                if (conflict_) conflict_(number(n), other);
            });
    }
    const char* Name() const override { return raw_ ? "raw ARP" : kernel_.Name(); }

  private:
    // A sweep of the monitor is a later one of its scan only right after
    // another of the same range: a pause longer than a scan's sweeps allow,
    // or another range, begins a scan even without BeginScan.
    SweepMode ModeOf(uint32_t ip, int first, int last, SweepClock::time_point start) {
        if (mode_ != SweepMode::Monitor) return mode_;
        const bool later = !scanBegins_ && ip == lastIp_ && first == lastFirst_ &&
                           last == lastLast_ && start - lastStart_ < std::chrono::seconds(5);
        scanBegins_ = false;
        lastIp_ = ip, lastFirst_ = first, lastLast_ = last, lastStart_ = start;
        return later ? SweepMode::Follow : SweepMode::Monitor;
    }

    static const SweepHost* AnyAddress(std::span<const SweepHost> hosts) {
        for (const SweepHost& h : hosts) {
            if (h.ip != 0) return &h;
        }
        return nullptr;
    }

    std::shared_ptr<ArpHelperClient> helper_;
    KernelSweep kernel_;
    SweepTiming timing_;
    SweepMode mode_;
    bool raw_ = true;
    std::atomic<bool> scanBegins_{true};
    uint32_t lastIp_ = 0;
    int lastFirst_ = -1, lastLast_ = -1;
    SweepClock::time_point lastStart_{};
};

}  // namespace

std::unique_ptr<SweepMethod> MakeArpSweep(std::string helperPath, SweepTiming timing,
                                          SweepMode mode) {
    return MakeArpSweepThrough(std::make_shared<ArpHelperClient>(std::move(helperPath)),
                        std::move(timing), mode);
}

std::unique_ptr<SweepMethod> MakeArpSweepThrough(std::shared_ptr<ArpHelperClient> helper,
                                          SweepTiming timing, SweepMode mode) {
    return std::make_unique<HelperSweep>(std::move(helper), std::move(timing), mode);
}

std::unique_ptr<SweepMethod> MakeKernelSweep(SweepTiming timing) {
    return std::make_unique<KernelSweep>(std::move(timing));
}

}  // namespace rm
