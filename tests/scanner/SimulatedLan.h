// A simulated Ethernet segment behind the ArpLink seam: hosts that answer ARP
// requests after a delay, frame loss in each direction, stray frames a real
// network carries (replies to others, announcements, garbage) mixed in,
// devices announcing themselves, and impostors answering for others.
#pragma once

#include <arpa/inet.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <utility>
#include <vector>
#include <thread>

#include "scanner/SweepEngine.h"

namespace rm {

// The scanner's side of the simulated network: eth0 at 10.77.0.2/24, as in the lab.
inline InterfaceInfo LabInterface() {
    InterfaceInfo ifc;
    ifc.index = 3;
    ifc.name = "eth0";
    ifc.mac = {0x02, 0x52, 0x4d, 0x00, 0xfe, 0x02};
    ifc.ip = inet_addr("10.77.0.2");
    ifc.netmask = inet_addr("255.255.255.0");
    return ifc;
}

// A mode's schedule squeezed ten times, so that many sweeps fit in a test or
// a benchmark; the simulated hosts answer in 1 ms.
inline SweepTiming FastTiming(SweepMode mode) {
    SweepTiming t = SweepTiming::For(mode);
    for (auto* v : {&t.attempts, &t.unicasts})
        for (auto& at : *v) at /= 10;
    t.deadline /= 10;
    t.burst = 64;
    return t;
}

class SimulatedLan : public ArpLink {
  public:
    struct Host {
        MacAddress mac;
        std::chrono::milliseconds delay{1};
    };
    std::map<uint32_t, Host> hosts;  // by IPv4 value
    // Forging neighbours: each answers every broadcast request for its address
    // (a switch shows it nothing else), as quickly as it can.
    std::map<uint32_t, MacAddress> impostors;
    double requestLoss = 0, replyLoss = 0;
    std::vector<std::vector<uint8_t>> strays;  // queued before every answer
    std::vector<uint32_t> asked;               // targets of the requests sent, in order
    // Requests sent to one MAC rather than broadcast: target and destination.
    std::vector<std::pair<uint32_t, MacAddress>> unicasts;
    // Broadcasts lost on top of requestLoss (a radio sends them unacknowledged
    // at its lowest rate; unicasts it repeats until they arrive).
    double broadcastLoss = 0;
    int drains = 0;

    explicit SimulatedLan(uint32_t seed = 1) : rng_(seed) {}

    void Add(const char* ip, uint8_t last,
             std::chrono::milliseconds delay = std::chrono::milliseconds(1)) {
        hosts[inet_addr(ip)] = {MacAddress{0x00, 0x1b, 0x21, 0x00, 0x00, last}, delay};
    }

    void Drain() override {
        std::lock_guard lock(m_);
        ++drains;
        // Stale replies go; what devices said on their own is still news (the
        // helper keeps it as sightings while it drains).
        std::erase_if(queue_, [](const Pending& p) { return p.pktType != kPacketBroadcast; });
    }

    bool Send(std::span<const uint8_t> frame) override {
        std::lock_guard lock(m_);
        if (frame.size() < kArpFrameSize) return false;
        uint32_t target, sender;
        std::memcpy(&target, frame.data() + 38, 4);
        std::memcpy(&sender, frame.data() + 28, 4);
        asked.push_back(target);
        MacAddress to;
        std::copy(frame.begin(), frame.begin() + 6, to.begin());
        const bool broadcast = to == MacAddress{0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
        if (!broadcast) unicasts.emplace_back(target, to);
        auto it = hosts.find(target);
        // A unicast reaches only the device that owns its destination MAC.
        if (auto liar = impostors.find(target); broadcast && liar != impostors.end())
            queue_.push_back({Clock::now(), Reply(liar->second, target, frame), kPacketHost});
        if (it == hosts.end() || (!broadcast && it->second.mac != to) || Lose(requestLoss) ||
            (broadcast && broadcastLoss > 0 && Lose(broadcastLoss)))
            return true;
        const auto due = Clock::now() + it->second.delay;
        for (const auto& s : strays) queue_.push_back({due, s, kPacketHost});
        if (!Lose(replyLoss))
            queue_.push_back({due, Reply(it->second.mac, target, frame), kPacketHost});
        return true;
    }

    std::optional<ReceivedFrame> Receive(std::chrono::milliseconds timeout) override {
        const auto end = Clock::now() + timeout;
        for (;;) {
            {
                std::lock_guard lock(m_);
                for (auto it = queue_.begin(); it != queue_.end(); ++it) {
                    if (it->due <= Clock::now()) {
                        ReceivedFrame f{std::move(it->frame), it->pktType};
                        queue_.erase(it);
                        return f;
                    }
                }
            }
            if (Clock::now() >= end) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    // `ip` speaks from `mac` to everybody: an announcement (RFC 5227), or,
    // with `target` another address, the request a device sends first.
    void Announce(uint32_t ip, const MacAddress& mac, uint32_t target = 0) {
        std::lock_guard lock(m_);
        auto f = BuildArpRequest(mac, ip, target ? target : ip);
        if (!Lose(replyLoss))
            queue_.push_back({Clock::now(), {f.begin(), f.end()}, kPacketBroadcast});
    }

    // A reply of `mac`/`ip` to the asker of `request`, as a host would send it.
    static std::vector<uint8_t> Reply(const MacAddress& mac, uint32_t ip,
                                      std::span<const uint8_t> request) {
        std::vector<uint8_t> f(60, 0);
        std::copy(request.begin() + 6, request.begin() + 12, f.begin());  // to the asker
        std::copy(mac.begin(), mac.end(), f.begin() + 6);
        const uint8_t arp[] = {0x08, 0x06, 0x00, 0x01, 0x08, 0x00, 6, 4, 0, 2};
        std::copy(std::begin(arp), std::end(arp), f.begin() + 12);
        std::copy(mac.begin(), mac.end(), f.begin() + 22);
        std::memcpy(f.data() + 28, &ip, 4);
        std::copy(request.begin() + 22, request.begin() + 32, f.begin() + 32);  // asker's MAC+IP
        return f;
    }

  private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        Clock::time_point due;
        std::vector<uint8_t> frame;
        uint8_t pktType = kPacketHost;
    };
    bool Lose(double p) { return std::uniform_real_distribution<>(0, 1)(rng_) < p; }
    std::mutex m_;
    std::deque<Pending> queue_;
    std::mt19937 rng_;
};

// The monitor's scans on a simulated segment: each ten sweeps are a scan, the
// first asking every address, the later ones (SweepMode::Follow) the known
// devices and a budgeted slice; one memory spans them, as one helper's does.
struct MonitorScans {
    explicit MonitorScans(SimulatedLan& segment, int squeeze = 1) : lan(segment), squeeze_(squeeze) {}

    SimulatedLan& lan;
    SweepMemory memory;
    int sweep = 0;  // of the scan, from 0; NewScan starts another
    std::vector<std::pair<int, MacAddress>> conflicts;  // host number, the other MAC

    void NewScan() { sweep = 0; }
    // One sweep of `first`..`last`: host number -> MAC listed.
    std::map<int, MacAddress> Next(int first = 0, int last = 255) {
        const SweepMode mode =
            sweep++ % kSweepsPerScan == 0 ? SweepMode::Monitor : SweepMode::Follow;
        SweepTiming timing = FastTiming(mode);
        for (auto* v : {&timing.attempts, &timing.unicasts})
            for (auto& at : *v) at /= squeeze_;
        timing.deadline /= squeeze_;
        std::map<int, MacAddress> answers;
        const auto hosts = HostsOfRange("10.77.0.", first, last);
        std::atomic<bool> cancelled{false};
        RunArpSweep(
            lan, LabInterface(), hosts, SweepClock::now(), timing,
            [&](const SweepHost& h, const MacAddress& mac) {
                if (!answers.emplace(h.number, mac).second) ++duplicates;
            },
            cancelled, &memory,
            [&](const SweepHost& h, const MacAddress&, const MacAddress& other) {
                conflicts.emplace_back(h.number, other);
            });
        return answers;
    }
    // Whether `got` lists every device of the segment with its MAC; with
    // `knownOnly`, every device the memory knew before the sweep.
    bool ListsEveryDevice(const std::map<int, MacAddress>& got,
                          const std::set<uint32_t>* knownOnly = nullptr) const {
        for (auto& [ip, h] : lan.hosts) {
            if (knownOnly && !knownOnly->count(ip)) continue;
            auto it = got.find(int(ntohl(ip) & 0xFF));
            if (it == got.end() || it->second != h.mac) return false;
        }
        return true;
    }
    // The devices of the segment that the memory knows now.
    std::set<uint32_t> Known() const {
        std::set<uint32_t> known;
        for (auto& [ip, h] : lan.hosts)
            if (memory.MacOf(ip, SweepClock::now())) known.insert(ip);
        return known;
    }
    int duplicates = 0;

  private:
    int squeeze_;
};

}  // namespace rm
