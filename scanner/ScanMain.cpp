// router-monitor-scan [--gentle | --monitor] [--repeat N] PREFIX FIRST LAST:
// a sweep of the range scanner, printed as the lines the monitor's host list
// would receive, then a summary line. Users run it to see what the monitor
// sees; the benchmark runs it.
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
        "  --monitor  as the monitor does: twice by broadcast, and devices that\n"
        "             answered an earlier sweep of this run again by unicast\n"
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

    for (int32_t round = 0; round < repeat; ++round) {
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
