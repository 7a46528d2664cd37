// router-monitor-scan [--gentle | --monitor] [--repeat N] PREFIX FIRST LAST:
// a sweep of the range scanner, printed as the lines the monitor's host list
// would receive, then a summary line. Users run it to see what the monitor
// sees; the benchmark runs it. An address for which two MACs answered gets a
// line of its own before the list:
//   conflict 10.77.0.11 listed 02-52-4D-00-00-01 also 02-AA-BB-CC-DD-EE
#include <sys/resource.h>

#include <QString>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/TextNumber.h"
#include "platform/linux/RawArpSocket.h"
#include "scanner/EntryText.h"
#include "scanner/SweepEngine.h"

namespace {

int Usage() {
    std::fprintf(
        stderr,
        "usage: router-monitor-scan [--gentle | --monitor] [--repeat N] PREFIX FIRST LAST\n"
        "       (e.g. 192.168.1. 1 254)\n"
        "  default    asks every silent address up to seven times by broadcast\n"
        "  --gentle   asks every address at most twice by broadcast\n"
        "  --monitor  as the monitor's scans do: each ten sweeps are one scan,\n"
        "             whose first asks every address once by broadcast and the\n"
        "             devices it knows again by unicast; the later ones ask those\n"
        "             devices, the ones heard joining, and a few empty addresses\n"
        "  --repeat N makes N sweeps (1..10000) one after the other through one\n"
        "             helper, each printed as its list and summary\n");
    return 2;
}

double CpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace rm;
    SweepMode mode = SweepMode::Thorough;
    int32_t repeat = 1;
    int arg = 1;
    for (; arg < argc && std::strncmp(argv[arg], "--", 2) == 0; ++arg) {
        const std::string option = argv[arg];
        if (option == "--gentle" && mode == SweepMode::Thorough) {
            mode = SweepMode::Gentle;
        } else if (option == "--monitor" && mode == SweepMode::Thorough) {
            mode = SweepMode::Monitor;
        } else if (option == "--repeat" && arg + 1 < argc &&
                   ParseInt32Argument(argv[arg + 1], repeat) && repeat >= 1 && repeat <= 10000) {
            ++arg;
        } else {
            return Usage();
        }
    }
    int32_t first = 0, last = 0;
    if (argc - arg != 3 || !ParseInt32Argument(argv[arg + 1], first) ||
        !ParseInt32Argument(argv[arg + 2], last))
        return Usage();
    const std::string prefix = argv[arg];
    if (prefix.empty() || prefix.back() != '.' || HostsOfRange(prefix.c_str(), 0, 0)[0].ip == 0)
        return Usage();

    // Raw ARP is router-monitor-arp's business; this program holds no privilege.
    auto method = MakeArpSweep({}, {}, mode);

    const std::vector<SweepHost> hosts = HostsOfRange(prefix.c_str(), first, last);
    std::optional<InterfaceInfo> ifc;
    if (!hosts.empty()) {
        ifc = InterfaceFor(hosts.front().ip);
        if (!ifc) {
            std::fprintf(stderr, "router-monitor-scan: no interface of this machine is on %s0\n",
                         prefix.c_str());
            return 1;
        }
    }
    const OuiVendors& vendors = OuiVendors::System();

    // Starting router-monitor-arp is part of this program's start, not of the
    // sweep (the window starts it once and keeps it).
    if (ifc) method->Prepare(hosts);

    std::vector<std::pair<int, MacAddress>> conflicts;  // host number, the other MAC
    method->OnConflict(
        [&](const SweepHost& h, const MacAddress& other) { conflicts.emplace_back(h.number, other); });
    for (int32_t round = 0; round < repeat; ++round) {
        // As the monitor's cycle: a scan is at most ten sweeps.
        if (round % kSweepsPerScan == 0) method->BeginScan();
        conflicts.clear();
        std::vector<std::optional<MacAddress>> macs(hosts.size());
        std::atomic<bool> never{false};
        const double cpuBefore = CpuMs();
        const auto start = SweepClock::now();
        if (ifc) {
            method->Run(
                *ifc, hosts, start,
                [&](const SweepHost& h, const MacAddress& mac) {
                    macs[size_t(h.number - hosts.front().number)] = mac;
                },
                never);
        }
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::microseconds>(SweepClock::now() - start);
        const double cpu = CpuMs() - cpuBefore;

        for (const auto& [number, other] : conflicts) {
            const auto& listed = macs[size_t(number - hosts.front().number)];
            std::printf("conflict %s%d listed %s also %s\n", prefix.c_str(), number,
                        listed ? MacText(*listed).c_str() : "00-00-00-00-00-00",
                        MacText(other).c_str());
        }
        int answered = 0;
        for (size_t i = 0; i < hosts.size(); ++i) {
            const QString address =
                QString::fromLocal8Bit(prefix) + QString::number(hosts[i].number);
            const QString vendor = macs[i] ? vendors.Lookup(*macs[i]) : QString();
            std::printf("%s\n", EntryText(address, macs[i], vendor).toLocal8Bit().constData());
            if (macs[i]) ++answered;
        }
        std::printf("%d of %zu answered in %.1f ms (%s, cpu %.2f ms)\n", answered, hosts.size(),
                    elapsed.count() / 1e3, method->Name(), cpu);
        std::fflush(stdout);
    }
    return 0;
}
