// ui_gap_bench: how long the UI thread goes without serving its event loop while
// the monitor scans for real. Runs inside the network lab (ui-gap-bench.sh):
// Timer1 drives the real cycle with the real ARP resolver, name lookup and range
// scanner; a 5 ms probe timer on the UI thread records every gap between its
// ticks. Gaps that contain a ProbeMac or LookupHostName call (bounded blocking
// calls of the system) are reported apart from the rest. Prints the figures.
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/Monitor.h"
#include "core/MonitorCycle.h"
#include "core/Tray.h"
#include "gui/qt/Form1.h"
#include "gui/qt/QtFrontEnd.h"
#include "platform/fake/FakeServices.h"
#include "platform/linux/LinuxPlatform.h"
#include "scanner/ArpRangeScanner.h"

namespace {

using namespace rm;

// Set by the wrappers below whenever a bounded blocking call ran.
bool blockingCallRan = false;
// Set while the bench itself holds the thread (driving the lab): that gap is not the monitor's.
bool benchHeldThread = false;

class MarkingArp : public ArpResolver {
  public:
    explicit MarkingArp(std::unique_ptr<ArpResolver> inner) : inner_(std::move(inner)) {}
    uint32_t SendArp(uint32_t dest, uint32_t src, uint8_t* mac, uint32_t* len) override {
        blockingCallRan = true;
        return inner_->SendArp(dest, src, mac, len);
    }

  private:
    std::unique_ptr<ArpResolver> inner_;
};

class MarkingSockets : public SocketLibrary {
  public:
    explicit MarkingSockets(std::unique_ptr<SocketLibrary> inner) : inner_(std::move(inner)) {}
    int WsaStartup(uint16_t v, WsaData* d) override { return inner_->WsaStartup(v, d); }
    int WsaCleanup() override { return inner_->WsaCleanup(); }
    std::optional<std::string> GetHostByAddr(const uint8_t addr[4]) override {
        blockingCallRan = true;
        return inner_->GetHostByAddr(addr);
    }

  private:
    std::unique_ptr<SocketLibrary> inner_;
};

class CountingLocalAddress : public LocalAddress {
  public:
    explicit CountingLocalAddress(std::unique_ptr<LocalAddress> inner) : inner_(std::move(inner)) {}
    std::string LocalIp() override {
        ++scans;  // asked once per scan
        return inner_->LocalIp();
    }
    int scans = 0;

  private:
    std::unique_ptr<LocalAddress> inner_;
};

struct GapProbe {
    QElapsedTimer clock;
    qint64 lastNs = 0;
    std::vector<double> plainMs, blockingMs;

    void Start(QObject* parent) {
        auto* t = new QTimer(parent);
        t->setTimerType(Qt::PreciseTimer);
        t->setInterval(5);
        QObject::connect(t, &QTimer::timeout, [this] { Tick(); });
        clock.start();
        lastNs = clock.nsecsElapsed();
        blockingCallRan = false;
        t->start();
    }
    void Tick() {
        const qint64 now = clock.nsecsElapsed();
        if (!benchHeldThread)
            (blockingCallRan ? blockingMs : plainMs).push_back((now - lastNs) / 1e6);
        blockingCallRan = false;
        benchHeldThread = false;
        lastNs = now;
    }
};

double Max(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

size_t Above(const std::vector<double>& v, double ms) {
    return size_t(std::count_if(v.begin(), v.end(), [ms](double g) { return g > ms; }));
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * (v.size() - 1)))];
}

// Runs the event loop until `done` holds (checked every 50 ms).
template <typename F>
void RunUntil(F done) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done()) loop.quit();
    });
    check.start(50);
    loop.exec();
}

void LabHostsLeave(int hosts) {
    benchHeldThread = true;
    for (int k = 1; k <= hosts; ++k) {
        QProcess::execute(qEnvironmentVariable("RM_LAB_SCRIPT"),
                          {QStringLiteral("leave"), qEnvironmentVariable("RM_LAB_NAME"),
                           QStringLiteral("h%1").arg(k)});
    }
}

// The cost of an idle tick of Timer1: the counter compared with the period.
double IdleTickMicroseconds(Monitor& monitor, Form1& form) {
    form.Text8->setText(QStringLiteral("1e9"));
    monitor.state.kiki = 0;
    constexpr int kTicks = 200000;
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kTicks; ++i) MonitorTick(monitor);
    const auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::micro>(t1 - t0).count() / kTicks;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariable("RM_LAB_NAME").isEmpty()) {
        std::fprintf(stderr, "ui_gap_bench: run me through bench/ui-gap-bench.sh (the lab)\n");
        return 2;
    }
    QApplication app(argc, argv);
    const int scansWithHosts = argc > 1 ? std::atoi(argv[1]) : 3;
    const int hosts = qEnvironmentVariable("RM_LAB_HOSTS").split(' ', Qt::SkipEmptyParts).size();

    MarkingArp arp(MakeLinuxArpResolver());
    auto addresses = MakeLinuxAddressTable();
    MarkingSockets sockets(MakeLinuxSocketLibrary());
    CountingLocalAddress localAddress(MakeLinuxLocalAddress());
    auto scanner = MakeArpRangeScanner();
    auto clock = MakeQtClock();
    FakeServices fakes;
    Services& services = fakes.services;
    services.arp = &arp;
    services.addresses = addresses.get();
    services.sockets = &sockets;
    services.localAddress = &localAddress;
    services.scanner = scanner.get();
    services.clock = clock.get();

    Form1* window = nullptr;
    Monitor monitor(services, [&window](Form1Events& events) {
        auto f = std::make_unique<Form1>(events);
        window = f.get();
        return f;
    });
    Form1& form = *window;
    AddTrayIcon(monitor, IconId::Window);
    form.Check4->setCheckState(Qt::Checked);  // the flash timer runs during the alarm scans
    form.Text8->setText(QStringLiteral("0"));

    GapProbe probe;
    probe.Start(&app);
    QElapsedTimer wall;
    wall.start();
    monitor.Command1Click();

    // Scans that find the hosts (one sweep each), then scans of an empty network
    // (ten sweeps each); a scan is over when the next one has begun.
    RunUntil([&] { return localAddress.scans > scansWithHosts; });
    const QString withHosts = form.Label11->text();
    LabHostsLeave(hosts);
    const int before = localAddress.scans;
    RunUntil([&] { return localAddress.scans > before + 1; });
    const QString empty = form.Label11->text();
    monitor.Command2Click();
    RunUntil([&] { return !form.Timer1->isActive(); });
    const double seconds = wall.elapsed() / 1000.0;

    std::printf("ui-gap-bench: %d scans in %.1f s (%d hosts, then none)\n", localAddress.scans,
                seconds, hosts);
    std::printf("  last count with hosts: %s\n", withHosts.toUtf8().constData());
    std::printf("  last count without:    %s\n", empty.toUtf8().constData());
    std::printf(
        "  longest UI-thread gap outside ProbeMac/LookupHostName: %.1f ms "
        "(99th percentile %.1f ms, %zu gaps)\n",
        Max(probe.plainMs), Percentile(probe.plainMs, 0.99), probe.plainMs.size());
    std::printf("  gaps above 101 ms: %zu, above 110 ms: %zu\n", Above(probe.plainMs, 101),
                Above(probe.plainMs, 110));
    std::printf("  longest gap containing ProbeMac/LookupHostName:        %.1f ms (%zu gaps)\n",
                Max(probe.blockingMs), probe.blockingMs.size());
    std::printf("  idle tick of Timer1: %.3f us\n", IdleTickMicroseconds(monitor, form));
    return 0;
}
