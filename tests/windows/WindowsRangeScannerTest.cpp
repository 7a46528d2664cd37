// The range scanner's bookkeeping under Wine without a network: a documentation
// range lies on none of this machine's networks, so nothing is sent and every
// host is silent. What is checked is the contract with the window: one line per
// host, in place before the window's 1500 ms wait ends, on the window's thread,
// and nothing from a sweep that a newer one replaced.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/windows/WindowsArpResolver.h"
#include "platform/windows/WindowsRangeScanner.h"

namespace rm {
namespace {

// The window's thread: tasks queue up and run only when the test pumps them.
class FakeWindowThread {
  public:
    WindowsRangeScanner::UiPoster Poster() {
        return [this](std::function<void()> task) {
            std::lock_guard lock(m_);
            tasks_.push_back(std::move(task));
        };
    }
    void PumpFor(std::chrono::milliseconds span) {
        const auto end = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < end) {
            Pump();
            Sleep(10);
        }
        Pump();
    }
    void Pump() {
        std::vector<std::function<void()>> tasks;
        {
            std::lock_guard lock(m_);
            tasks.swap(tasks_);
        }
        for (auto& t : tasks) t();
    }

  private:
    std::mutex m_;
    std::vector<std::function<void()>> tasks_;
};

struct Lines : HostList {
    std::multimap<int, std::string> byHost;
    DWORD thread = 0;
    bool otherThread = false;
    void AddHostEntry(int host, const std::string& line) override {
        if (GetCurrentThreadId() != thread) otherThread = true;
        byHost.emplace(host, line);
    }
};

bool OffNetwork() {
    return !OnLocalNetwork(0x4D7100CB) && !OnLocalNetwork(0x017100CB);  // 203.0.113.77 / .1
}

TEST(WindowsRangeScannerTest, EveryHostHasOneLineBeforeTheWindowStopsWaiting) {
    if (!OffNetwork()) GTEST_SKIP() << "203.0.113.0/24 is a local network here";
    FakeWindowThread ui;
    WindowsRangeScanner scanner(ui.Poster());
    Lines lines;
    lines.thread = GetCurrentThreadId();
    const auto start = std::chrono::steady_clock::now();
    scanner.Therad("203.0.113.", lines, 250, 300);  // clamped to 250..255
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200))
        << "Therad must return at once";
    ui.PumpFor(std::chrono::milliseconds(1400));
    ASSERT_EQ(lines.byHost.size(), 6u);
    for (int host = 250; host <= 255; ++host) {
        ASSERT_EQ(lines.byHost.count(host), 1u) << host;
        const std::string address = "203.0.113." + std::to_string(host);
        std::string expected =
            address + std::string(15 - address.size(), ' ') + "  00-00-00-00-00-00";
        EXPECT_EQ(lines.byHost.find(host)->second, expected);
    }
    EXPECT_FALSE(lines.otherThread) << "a line was added off the window's thread";
}

TEST(WindowsRangeScannerTest, ANewerSweepDropsTheOlderOnesLines) {
    if (!OffNetwork()) GTEST_SKIP() << "203.0.113.0/24 is a local network here";
    FakeWindowThread ui;
    WindowsRangeScanner scanner(ui.Poster());
    Lines older, newer;
    older.thread = newer.thread = GetCurrentThreadId();
    scanner.Therad("203.0.113.", older, 1, 30);
    Sleep(100);
    scanner.Therad("203.0.113.", newer, 40, 41);
    ui.PumpFor(std::chrono::milliseconds(1500));
    EXPECT_TRUE(older.byHost.empty()) << older.byHost.size() << " lines of a replaced sweep";
    EXPECT_EQ(newer.byHost.size(), 2u);
}

TEST(WindowsRangeScannerTest, APrefixThatMakesNoAddressStillGivesEachHostItsLine) {
    FakeWindowThread ui;
    WindowsRangeScanner scanner(ui.Poster(), WindowsRangeScanner::Path::Auto,
                                std::chrono::milliseconds(300));
    Lines lines;
    lines.thread = GetCurrentThreadId();
    scanner.Therad("10.", lines, 7, 8);
    ui.PumpFor(std::chrono::milliseconds(600));
    ASSERT_EQ(lines.byHost.size(), 2u);
    EXPECT_EQ(lines.byHost.find(7)->second, "10.7             00-00-00-00-00-00");
    Lines none;
    scanner.Therad("10.0.0.", none, 9, 3);  // a first number above the last: no host
    ui.PumpFor(std::chrono::milliseconds(600));
    EXPECT_TRUE(none.byHost.empty());
}

}  // namespace
}  // namespace rm
