// The range scanner of the Windows program. `Therad` returns at once; every
// host of the range is asked at the same time, SendARP on a thread per host,
// each call bounded by the sweep's deadline. A call outlives its sweep when the
// host is silent (SendARP waits about 3 s): while it is out no second one is
// made for that address, and its answer goes to the newest sweep that asked,
// so there is never more than one call per address of the range. Where SendARP is not supported
// (Wine) one datagram goes to each address and the system's neighbour table is
// read, REACHABLE entries only. Lines go to the window's thread through the
// poster, tagged with the sweep; a line of an older sweep is dropped there.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/RangeScanner.h"
#include "platform/windows/WindowsArpResolver.h"

namespace rm {

class WindowsRangeScanner : public RangeScanner {
  public:
    // Runs a task on the window's thread (a PostMessage to the window, say).
    using UiPoster = std::function<void(std::function<void()>)>;
    enum class Path { Auto, SendArp, NeighbourTable };

    // Silent hosts get their line at `deadline` after the call, well inside
    // the 1500 ms the window waits.
    explicit WindowsRangeScanner(
        UiPoster post, Path path = Path::Auto,
        std::chrono::milliseconds deadline = std::chrono::milliseconds(1150),
        SendArpFn sendArp = SystemSendArp());
    ~WindowsRangeScanner() override;

    void Therad(const std::string& prefix, HostList& list, int32_t first, int32_t last) override;

    // The path the last sweep took.
    Path ActivePath() const { return last_.load(); }

  private:
    struct Shared {
        std::atomic<uint64_t> generation{0};
    };
    struct Calls;
    void Sweep(uint64_t generation, std::string prefix, HostList* list, int32_t first, int32_t last,
               std::chrono::steady_clock::time_point start);

    UiPoster post_;
    Path path_;
    std::chrono::milliseconds deadline_;
    SendArpFn sendArp_;
    bool systemSendArp_;
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
    std::shared_ptr<Calls> calls_;
    std::atomic<Path> last_{Path::SendArp};
    std::atomic<bool> sendArpMissing_{false};
    std::mutex threadsMutex_;
    std::vector<std::thread> sweeps_;
};

}  // namespace rm
