// sweep_schedule_bench [SCANS] [JOIN_TRIALS]: the sweep schedules on a
// simulated /24 with 30 devices (and a free network: the router and two
// devices) and a tenth of the frames lost each way, for the counts a lab
// cannot make in reasonable time.
//   - the monitor's scans of ten sweeps: share of sweeps that list every known
//     present device (target: at least 99.5 % of 1,000), frames per address
//     per scan, at 0 % and 10 % loss;
//   - joins, leaves and conflicts (see Joins): a device that announces itself
//     listed by the next sweep (target: 99 %), one that leaves not listed by
//     the next sweep, a silent one listed by the next scan's first sweep, a
//     forged second MAC reported and the known MAC kept (target: 100 %);
//   - frames per address of one Gentle and one Thorough sweep, and the CPU of
//     the sweep loop per sweep for each schedule.
// The schedules run ten times faster than the real ones (hosts answer in 1 ms),
// which changes no count. Simulated only: nothing goes on any network.
#include <arpa/inet.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "tests/scanner/SimulatedLan.h"

namespace rm {
namespace {

double CpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

struct Result {
    size_t found = 0;
    bool all = false;
};

Result Sweep(SimulatedLan& lan, SweepMode mode, SweepMemory* memory, int first, int last) {
    const auto hosts = HostsOfRange("10.77.0.", first, last);
    std::atomic<bool> cancelled{false};
    std::map<uint32_t, MacAddress> got;
    RunArpSweep(
        lan, LabInterface(), hosts, SweepClock::now(), FastTiming(mode),
        [&](const SweepHost& h, const MacAddress& mac) { got[h.ip] = mac; }, cancelled, memory);
    Result r;
    r.all = true;
    for (auto& [ip, h] : lan.hosts) {
        const int n = int(ntohl(ip) & 0xFF);
        if (n < first || n > last) continue;
        auto it = got.find(ip);
        if (it != got.end() && it->second == h.mac) {
            ++r.found;
        } else {
            r.all = false;
        }
    }
    return r;
}

void AddThirty(SimulatedLan& lan) {
    for (int k = 11; k <= 40; ++k) lan.Add(("10.77.0." + std::to_string(k)).c_str(), uint8_t(k));
}

// `devices` present (.11 on, and the router); scans of ten sweeps each, the
// first scan learning who is there.
void MonitorRun(int scans, double loss, int devices) {
    SimulatedLan lan{uint32_t(1000 + loss * 100 + devices)};
    lan.requestLoss = lan.replyLoss = loss;
    lan.Add("10.77.0.1", 0x01);
    for (int k = 11; k < 11 + devices - 1; ++k)
        lan.Add(("10.77.0." + std::to_string(k)).c_str(), uint8_t(k));
    MonitorScans run(lan);
    for (int i = 0; i < kSweepsPerScan; ++i) run.Next(1, 255);
    lan.asked.clear();
    lan.unicasts.clear();
    int complete = 0;
    const double cpu0 = CpuMs();
    for (int i = 0; i < scans * kSweepsPerScan; ++i) {
        const auto known = run.Known();
        complete += run.ListsEveryDevice(run.Next(1, 255), &known);
    }
    const double cpu = CpuMs() - cpu0;
    const int sweeps = scans * kSweepsPerScan;
    std::printf(
        "monitor, %2d devices, %2.0f %% loss: %d of %d sweeps list every known device "
        "(%.2f %%); %.3f frames/address per free scan of ten sweeps (%.3f unicast); "
        "cpu %.3f ms/sweep\n",
        devices, loss * 100, complete, sweeps, 100.0 * complete / sweeps,
        double(lan.asked.size()) / scans / 255, double(lan.unicasts.size()) / scans / 255,
        cpu / sweeps);
}

void OneShot(SweepMode mode, const char* name, double loss, int sweeps) {
    SimulatedLan lan{uint32_t(2000 + loss * 100)};
    lan.requestLoss = lan.replyLoss = loss;
    AddThirty(lan);
    int complete = 0;
    const double cpu0 = CpuMs();
    for (int i = 0; i < sweeps; ++i) {
        // No memory: each sweep is a run of the command of its own.
        if (Sweep(lan, mode, nullptr, 1, 255).all) ++complete;
    }
    const double cpu = CpuMs() - cpu0;
    std::printf(
        "%-8s %2.0f %% loss: %d of %d sweeps complete; %.3f frames/address/sweep; "
        "cpu %.3f ms/sweep\n",
        name, loss * 100, complete, sweeps, double(lan.asked.size()) / sweeps / 255, cpu / sweeps);
}

// Thirty devices under a tenth lost each way. Each trial: a scan's first
// sweep; then a device joins and announces itself (an address probe, an
// announcement and its request for the router, as a device that joins sends
// them, each lost with the rest), another joins silently, and an impostor
// answers every broadcast for a known device's address; the next sweep must
// list the announced device; it leaves, and the sweep after must not list it;
// the next scan's first sweep must list the silent one; the impostor must be
// a conflict, the entry keeping the known MAC.
void Joins(int trials, double loss) {
    SimulatedLan lan{uint32_t(3000 + loss * 100)};
    AddThirty(lan);
    lan.Add("10.77.0.1", 0x01);
    MonitorScans run(lan);
    // The memory's three minutes, squeezed as the sweeps are: a device heard
    // every sweep stays known, a joiner of an earlier trial is forgotten.
    run.memory = SweepMemory(std::chrono::milliseconds(400));
    run.Next(1, 255);
    lan.requestLoss = lan.replyLoss = loss;
    int announced = 0, left = 0, silent = 0, conflicts = 0;
    const uint32_t known = inet_addr("10.77.0.11");
    const int knownN = 11;
    const MacAddress knownMac = lan.hosts[known].mac;
    for (int t = 0; t < trials; ++t) {
        // Addresses that no earlier trial used lately: a device that held one
        // would be known, and asked again by its address.
        const int joinN = 41 + t % 100, silentN = 141 + t % 100;
        const uint32_t joinIp = inet_addr(("10.77.0." + std::to_string(joinN)).c_str());
        const uint32_t silentIp = inet_addr(("10.77.0." + std::to_string(silentN)).c_str());
        run.NewScan();
        run.Next(1, 255);
        const MacAddress joiner{0x06, 0x00, uint8_t(t >> 16), uint8_t(t >> 8), uint8_t(t), 0x60};
        lan.hosts[joinIp] = {joiner, std::chrono::milliseconds(1)};
        lan.Announce(0, joiner, joinIp);
        lan.Announce(joinIp, joiner);
        lan.Announce(joinIp, joiner, inet_addr("10.77.0.1"));
        lan.hosts[silentIp] = {MacAddress{0x06, 0x01, uint8_t(t >> 16), uint8_t(t >> 8),
                                          uint8_t(t), 0x61},
                               std::chrono::milliseconds(1)};
        auto got = run.Next(1, 255);
        announced += got.count(joinN) && got[joinN] == joiner;
        lan.hosts.erase(joinIp);
        got = run.Next(1, 255);
        left += !got.count(joinN);
        run.NewScan();
        lan.impostors[known] = MacAddress{0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0xee};
        run.conflicts.clear();
        got = run.Next(1, 255);
        silent += got.count(silentN) > 0;
        conflicts += run.conflicts.size() == 1 && run.conflicts[0].first == knownN &&
                     got[knownN] == knownMac;
        lan.impostors.clear();
        lan.hosts.erase(silentIp);
    }
    std::printf(
        "joins,    %2.0f %% loss: announced, listed by the next sweep: %d of %d (%.2f %%); "
        "left, not listed by the next sweep: %d of %d; silent, listed by the next scan's first "
        "sweep: %d of %d (%.2f %%); forged second MAC reported, known MAC kept: %d of %d\n",
        loss * 100, announced, trials, 100.0 * announced / trials, left, trials, silent, trials,
        100.0 * silent / trials, conflicts, trials);
}

}  // namespace
}  // namespace rm

int main(int argc, char** argv) {
    const int scans = argc > 1 ? std::atoi(argv[1]) : 100;
    const int trials = argc > 2 ? std::atoi(argv[2]) : 200;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    for (double loss : {0.0, 0.10}) {
        rm::OneShot(rm::SweepMode::Thorough, "default", loss, 20);
        rm::OneShot(rm::SweepMode::Gentle, "gentle", loss, 20);
        rm::MonitorRun(loss == 0 ? 5 : scans, loss, 30);
        rm::MonitorRun(loss == 0 ? 5 : scans / 4, loss, 3);
    }
    for (double loss : {0.0, 0.10}) rm::Joins(loss == 0 ? trials / 10 : trials, loss);
    return 0;
}
