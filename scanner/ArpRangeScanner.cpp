// The worker thread behind Therad and the hand-over of entries to the list.
#include "scanner/ArpRangeScanner.h"

#include "platform/linux/ArpHelperClient.h"

#include <QMetaObject>
#include <algorithm>
#include <utility>
#include <vector>

namespace rm {

ArpRangeScanner::ArpRangeScanner(std::unique_ptr<SweepMethod> method, VendorSource vendors,
                                 InterfaceLookup interfaceFor)
    : method_(std::move(method)),
      vendorSource_(std::move(vendors)),
      interfaceFor_(std::move(interfaceFor)),
      worker_([this] { WorkerLoop(); }) {}

ArpRangeScanner::~ArpRangeScanner() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        superseded_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void ArpRangeScanner::Therad(const std::string& prefix, HostList& list, int32_t first,
                             int32_t last) {
    Job job;
    job.generation = ++generation_;
    job.prefix = QByteArray::fromStdString(prefix);
    job.first = first;
    job.last = last;
    job.start = SweepClock::now();
    job.firstOfScan = std::exchange(scanBegins_, false);
    job.list = &list;
    job.listObject = dynamic_cast<QObject*>(&list);
    {
        std::lock_guard lock(mutex_);
        pending_ = std::move(job);
        superseded_ = true;  // a sweep still running gives way at once
    }
    wake_.notify_all();
}

void ArpRangeScanner::WorkerLoop() {
    if (vendorSource_) vendors_ = vendorSource_();
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || pending_.has_value(); });
            if (stopping_) return;
            job = std::move(*pending_);
            pending_.reset();
            superseded_ = false;
        }
        Sweep(job);
    }
}

void ArpRangeScanner::Sweep(const Job& job) {
    const std::vector<SweepHost> hosts = HostsOfRange(job.prefix.constData(), job.first, job.last);
    if (hosts.empty()) return;
    auto addressOf = [&job](const SweepHost& h) {
        return QString::fromLocal8Bit(job.prefix) + QString::number(h.number);
    };
    std::vector<bool> answered(hosts.size(), false);
    const int firstNumber = hosts.front().number;

    std::optional<InterfaceInfo> ifc;
    for (const SweepHost& h : hosts) {
        if (h.ip != 0) {
            ifc = interfaceFor_(h.ip);
            break;
        }
    }
    if (job.firstOfScan) method_->BeginScan();
    if (ifc) {
        method_->Run(
            *ifc, hosts, job.start,
            [&](const SweepHost& h, const MacAddress& mac) {
                answered[size_t(h.number - firstNumber)] = true;
                const QString vendor = vendors_ ? vendors_->Lookup(mac) : QString();
                Post(job, h.number, EntryText(addressOf(h), mac, vendor));
            },
            superseded_);
    }
    if (superseded_) return;  // the list belongs to the newer sweep now
    for (size_t i = 0; i < hosts.size(); ++i) {
        if (!answered[i]) Post(job, hosts[i].number, EntryText(addressOf(hosts[i]), std::nullopt));
    }
}

void ArpRangeScanner::Post(const Job& job, int host, QString line) {
    QMetaObject::invokeMethod(
        this,
        [this, generation = job.generation, list = job.list, guard = job.listObject,
         isObject = !job.listObject.isNull(), host, line = line.toStdString()] {
            // Runs on the UI thread: the only place the list is touched.
            if (generation != generation_ || (isObject && !guard)) return;
            list->AddHostEntry(host, line);
        },
        Qt::QueuedConnection);
}

std::unique_ptr<RangeScanner> MakeArpRangeScanner(std::shared_ptr<ArpHelperClient> helper) {
    // The window sweeps the same network every few seconds: retries go by
    // unicast to the devices that answered a moment ago, and the later sweeps
    // of a scan ask little more than those.
    if (!helper) helper = std::make_shared<ArpHelperClient>();
    return std::make_unique<ArpRangeScanner>(MakeArpSweepThrough(std::move(helper), {}, SweepMode::Monitor),
                                             [] { return &OuiVendors::System(); });
}

}  // namespace rm
