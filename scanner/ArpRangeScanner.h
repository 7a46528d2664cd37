// The range scanner of the window: `Therad` hands the sweep to a worker thread
// and returns; the entries come back to the UI thread by queued calls, each
// tagged with the sweep it belongs to, so that an earlier sweep's late answers
// never land in a later sweep's list.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/RangeScanner.h"
#include "platform/linux/RawArpSocket.h"
#include "scanner/EntryText.h"
#include "scanner/SweepEngine.h"

namespace rm {

class ArpRangeScanner : public QObject, public RangeScanner {
    Q_OBJECT
  public:
    // `method` sweeps on the worker thread. `vendors` is called once there before
    // the first sweep (reading the OUI list takes a moment that the window should
    // not wait for); it may return null, and may be empty.
    // `interfaceFor` finds the interface of the range (InterfaceFor unless a test
    // stands in for the machine's interfaces).
    using VendorSource = std::function<const OuiVendors*()>;
    using InterfaceLookup = std::function<std::optional<InterfaceInfo>(uint32_t ip)>;
    ArpRangeScanner(std::unique_ptr<SweepMethod> method, VendorSource vendors = {},
                    InterfaceLookup interfaceFor = InterfaceFor);
    ~ArpRangeScanner() override;

    void Therad(const std::string& prefix, HostList& list, int32_t first, int32_t last) override;
    void BeginScan() override { scanBegins_ = true; }

    const char* MethodName() const { return method_->Name(); }

  private:
    struct Job {
        uint64_t generation = 0;
        QByteArray prefix;
        int32_t first = 0, last = 0;
        SweepClock::time_point start;
        bool firstOfScan = false;
        HostList* list = nullptr;
        // Set when the list is a Qt object: entries are not posted to one that is gone.
        QPointer<QObject> listObject;
    };

    void WorkerLoop();
    void Sweep(const Job& job);
    void Post(const Job& job, int host, QString line);

    std::unique_ptr<SweepMethod> method_;
    VendorSource vendorSource_;
    InterfaceLookup interfaceFor_;
    const OuiVendors* vendors_ = nullptr;
    std::atomic<uint64_t> generation_{0};
    std::atomic<bool> superseded_{false};
    bool scanBegins_ = false;  // UI thread only
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Job> pending_;
    bool stopping_ = false;
    std::thread worker_;
};

class ArpHelperClient;
// The scanner main() wires in: raw ARP through router-monitor-arp when it can
// serve, the kernel's neighbour table otherwise. `helper`: the window's one
// helper client, shared with its probe; none: a client of its own.
std::unique_ptr<RangeScanner> MakeArpRangeScanner(std::shared_ptr<ArpHelperClient> helper = {});

}  // namespace rm
