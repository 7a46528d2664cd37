// router-monitor-scan.exe PREFIX FIRST LAST: one sweep of the Windows range
// scanner, printed as the lines the monitor's host list would receive, in host
// order, then a summary line. Users run it to see what the monitor sees; the
// benchmark runs it.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "core/AddressText.h"
#include "core/ArpSweep.h"
#include "core/TextNumber.h"
#include "platform/windows/WindowsRangeScanner.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: router-monitor-scan PREFIX FIRST LAST   (e.g. 192.168.1. 1 254)\n"
                 "  asks every address of the range once, as the monitor's sweep does, and\n"
                 "  prints one line per address: its MAC, or 00-00-00-00-00-00 when silent\n");
    return 2;
}

// This program's "window thread": the scanner's tasks queue here and run on main.
class TaskQueue {
  public:
    void Post(std::function<void()> task) {
        {
            std::lock_guard lock(m_);
            tasks_.push_back(std::move(task));
        }
        cv_.notify_one();
    }
    // Runs queued tasks until `done` holds or `until` passes.
    template <class Done>
    void RunUntil(std::chrono::steady_clock::time_point until, Done done) {
        std::unique_lock lock(m_);
        while (!done()) {
            if (tasks_.empty() && !cv_.wait_until(lock, until, [&] { return !tasks_.empty(); }))
                return;
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            lock.lock();
        }
    }

  private:
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> tasks_;
};

struct Lines : rm::HostList {
    std::map<int, std::string> byHost;
    int answered = 0;
    std::chrono::steady_clock::time_point start, lastAnswer;
    void AddHostEntry(int host, const std::string& line) override {
        if (!byHost.emplace(host, line).second) return;
        if (line.size() < rm::kAbsentMac.size() ||
            line.compare(line.size() - rm::kAbsentMac.size(), std::string::npos, rm::kAbsentMac) !=
                0) {
            ++answered;
            lastAnswer = std::chrono::steady_clock::now();
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    using namespace std::chrono;
    int32_t first = 0, last = 0;
    if (argc != 4 || !rm::ParseInt32Argument(argv[2], first) ||
        !rm::ParseInt32Argument(argv[3], last))
        return Usage();
    const std::string prefix = argv[1];
    if (prefix.empty() || prefix.back() != '.' || rm::HostsOfRange(prefix.c_str(), 0, 0)[0].ip == 0)
        return Usage();
    const size_t count = rm::HostsOfRange(prefix.c_str(), first, last).size();

    TaskQueue queue;
    Lines lines;
    {
        rm::WindowsRangeScanner scanner(
            [&queue](std::function<void()> task) { queue.Post(std::move(task)); });
        lines.start = lines.lastAnswer = steady_clock::now();
        scanner.Therad(prefix, lines, first, last);
        // The window waits 1500 ms; the scanner promises every line by then.
        queue.RunUntil(lines.start + milliseconds(1500),
                       [&] { return lines.byHost.size() >= count; });
        const auto elapsed = duration_cast<microseconds>(steady_clock::now() - lines.start);
        for (const auto& [host, line] : lines.byHost) std::printf("%s\n", line.c_str());
        const char* path = scanner.ActivePath() == rm::WindowsRangeScanner::Path::SendArp
                               ? "SendARP"
                               : "neighbour table";
        std::printf("%d of %zu answered, the last at %.1f ms; every line in %.1f ms (%s)\n",
                    lines.answered, count,
                    duration_cast<microseconds>(lines.lastAnswer - lines.start).count() / 1e3,
                    elapsed.count() / 1e3, path);
        std::fflush(stdout);
    }
    return lines.byHost.size() == count ? 0 : 1;
}
