// probe_bench: ProbeMac timings inside the network lab (see probe-bench.sh),
// on the raw ARP path and the unprivileged kernel path, beside arp-scan asking
// the same questions. Refuses to run outside a lab.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "core/ArpProbe.h"
#include "platform/linux/LinuxArpResolver.h"

namespace {

using rm::LinuxArpResolver;
using Path = LinuxArpResolver::Path;

QString Env(const char* name) {
    return QString::fromLocal8Bit(qgetenv(name));
}

int Run(const QString& cmd) {
    return std::system(cmd.toLocal8Bit().constData());
}

void FlushNeighbours() {
    Run(QStringLiteral("ip neigh flush dev %1 >/dev/null 2>&1").arg(Env("RM_LAB_IFACE")));
}

struct Figure {
    double medianMs = 0;
    QString result;
};

// Median time of `n` probes of `ip`; `fresh` empties the kernel's cache first.
Figure Measure(Path path, const QString& ip, int n, bool fresh) {
    std::vector<double> ms;
    QString result;
    LinuxArpResolver arp(path);
    // Starting router-monitor-arp is not part of the probe: the router's
    // address starts it (and is cached by nobody but the kernel, flushed below).
    if (path == Path::Raw)
        rm::ProbeMac(arp, qEnvironmentVariable("RM_LAB_ROUTER_IP").toStdString());
    for (int i = 0; i < n; ++i) {
        if (fresh) FlushNeighbours();
        QElapsedTimer t;
        t.start();
        result = QString::fromStdString(rm::ProbeMac(arp, ip.toStdString()));
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], result};
}

Figure MeasurePeer(const QString& ip, int n) {
    std::vector<double> ms;
    QString result = QStringLiteral("no reply");
    for (int i = 0; i < n; ++i) {
        QElapsedTimer t;
        t.start();
        const int rc =
            Run(QStringLiteral("arp-scan -q -x -I %1 -r 1 -t 1000 %2 2>/dev/null | grep -q .")
                    .arg(Env("RM_LAB_IFACE"), ip));
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
        if (rc == 0) result = QStringLiteral("reply");
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], result};
}

void Print(const char* what, const char* path, const Figure& f) {
    std::printf("%-34s %-8s median %8.2f ms   %s\n", what, path, f.medianMs,
                f.result.toLocal8Bit().constData());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList hosts = Env("RM_LAB_HOSTS").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (Env("RM_LAB_NAME").isEmpty() || hosts.size() < 3) {
        std::fprintf(stderr, "probe_bench: run me through bench/probe-bench.sh (inside the lab)\n");
        return 77;
    }
    const QString present = hosts[0].section(QLatin1Char('='), 0, 0);
    const QString departed = hosts[2].section(QLatin1Char('='), 0, 0);
    const QString absent = Env("RM_LAB_PREFIX") + QStringLiteral("99");
    const int n = 15;

    std::printf("host %s present, %s absent, %s leaves; %d probes each (absent: 3)\n\n",
                qPrintable(present), qPrintable(absent), qPrintable(departed), n);
    Print("present host", "raw", Measure(Path::Raw, present, n, true));
    Print("present host, kernel cache empty", "kernel", Measure(Path::Kernel, present, n, true));
    Print("present host, entry REACHABLE", "kernel", Measure(Path::Kernel, present, n, false));
    Print("present host", "arp-scan", MeasurePeer(present, n));
    // An entry gone STALE (as after half a minute without traffic) is no answer by itself.
    const QString presentMac = hosts[0].section(QLatin1Char('='), 1).replace('-', ':');
    Run(QStringLiteral("ip neigh replace %1 lladdr %2 dev %3 nud stale")
            .arg(present, presentMac, Env("RM_LAB_IFACE")));
    Print("present host, entry STALE", "kernel", Measure(Path::Kernel, present, 1, false));
    Print("absent host", "raw", Measure(Path::Raw, absent, 3, true));
    Print("absent host", "kernel", Measure(Path::Kernel, absent, 3, true));
    Print("absent host", "arp-scan", MeasurePeer(absent, 3));

    // The departed host: known to both paths, then gone for 5 s.
    FlushNeighbours();
    Measure(Path::Kernel, departed, 1, false);
    Run(QStringLiteral("%1 leave %2 h3").arg(Env("RM_LAB_SCRIPT"), Env("RM_LAB_NAME")));
    QElapsedTimer gone;
    gone.start();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    Print("host that left 5 s earlier", "raw", Measure(Path::Raw, departed, 3, false));
    Print("host that left 5 s earlier", "kernel", Measure(Path::Kernel, departed, 1, false));
    // How long the kernel's cache keeps answering for it.
    while (gone.elapsed() < 90000) {
        LinuxArpResolver arp(Path::Kernel);
        if (rm::ProbeMac(arp, departed.toStdString()) == rm::kNoAnswer) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    std::printf("kernel path answered for the departed host until %.1f s after it left\n",
                double(gone.elapsed()) / 1000.0);
    return 0;
}
