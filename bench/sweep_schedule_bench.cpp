// sweep_schedule_bench [SWEEPS] [JOIN_TRIALS]: the sweep schedules on a
// simulated /24 with 30 devices and a tenth of the frames lost each way, for
// the counts a lab cannot make in reasonable time.
//   - the monitor's run of sweeps: share of sweeps that list every known
//     present device (target: at least 99.5 % of 1,000), frames per address
//     per sweep (target: at most 2.2), at 0 % and 10 % loss;
//   - a device that joins (unknown to the memory): share of trials in which it
//     is listed within 3 sweeps (target: at least 99.9 %);
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

void MonitorRun(int sweeps, double loss) {
    SimulatedLan lan{uint32_t(1000 + loss * 100)};
    lan.requestLoss = lan.replyLoss = loss;
    AddThirty(lan);
    SweepMemory memory;
    // As a monitor starts: a few sweeps learn who is there.
    for (int i = 0; i < 3; ++i) Sweep(lan, SweepMode::Monitor, &memory, 1, 255);
    lan.asked.clear();
    lan.unicasts.clear();
    int complete = 0;
    const double cpu0 = CpuMs();
    for (int i = 0; i < sweeps; ++i) {
        if (Sweep(lan, SweepMode::Monitor, &memory, 1, 255).all) ++complete;
    }
    const double cpu = CpuMs() - cpu0;
    std::printf(
        "monitor, %2.0f %% loss: %d of %d sweeps list every known device (%.2f %%); "
        "%.3f frames/address/sweep (%.3f unicast); cpu %.3f ms/sweep\n",
        loss * 100, complete, sweeps, 100.0 * complete / sweeps,
        double(lan.asked.size()) / sweeps / 255, double(lan.unicasts.size()) / sweeps / 255,
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

void Joins(int trials) {
    SimulatedLan lan{3000};
    lan.requestLoss = lan.replyLoss = 0.10;
    AddThirty(lan);
    SweepMemory memory;
    for (int i = 0; i < 3; ++i) Sweep(lan, SweepMode::Monitor, &memory, 11, 41);
    int within[4] = {0, 0, 0, 0};  // found in sweep 1, 2, 3; index 0: never
    for (int t = 0; t < trials; ++t) {
        // A device joins at .41 with a MAC of its own; the memory does not know it.
        lan.hosts[inet_addr("10.77.0.41")] = {
            MacAddress{0x06, 0x00, uint8_t(t >> 16), uint8_t(t >> 8), uint8_t(t), 0x41},
            std::chrono::milliseconds(1)};
        int foundIn = 0;
        for (int s = 1; s <= 3 && !foundIn; ++s) {
            if (Sweep(lan, SweepMode::Monitor, &memory, 41, 41).all) foundIn = s;
        }
        ++within[foundIn];
        lan.hosts.erase(inet_addr("10.77.0.41"));
        // It leaves again and is forgotten before the next trial.
        memory = SweepMemory();
    }
    std::printf(
        "join,    10 %% loss: %d of %d listed within 3 sweeps (%.3f %%; in sweep 1: %d, 2: %d, "
        "3: %d)\n",
        trials - within[0], trials, 100.0 * (trials - within[0]) / trials, within[1], within[2],
        within[3]);
}

}  // namespace
}  // namespace rm

int main(int argc, char** argv) {
    const int sweeps = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int trials = argc > 2 ? std::atoi(argv[2]) : 5000;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    for (double loss : {0.0, 0.10}) {
        rm::OneShot(rm::SweepMode::Thorough, "default", loss, 20);
        rm::OneShot(rm::SweepMode::Gentle, "gentle", loss, 20);
        rm::MonitorRun(loss == 0 ? 50 : sweeps, loss);
    }
    rm::Joins(trials);
    return 0;
}
