// The millisecond clock and the event pump of the monitor's waits: a monotonic
// 32-bit millisecond counter (timeGetTime), a plain sleep, and "let pending window
// events run" through the Qt event loop.
#include <QCoreApplication>
#include <chrono>
#include <thread>

#include "platform/linux/LinuxPlatform.h"

namespace rm {
namespace {

class QtClock : public Clock {
  public:
    // Milliseconds of the monotonic clock (time since boot, never set back),
    // cut to 32 bits like the original counter: it wraps after about 49.7 days,
    // which the callers' unsigned differences absorb.
    uint32_t TimeGetTime() override {
        const auto since = std::chrono::steady_clock::now().time_since_epoch();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
        return static_cast<uint32_t>(static_cast<uint64_t>(ms));
    }

    // A true sleep: no events run here, so nothing re-enters the caller.
    void Sleep(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

    void DoEvents() override {
        if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
    }
};

}  // namespace

std::unique_ptr<Clock> MakeQtClock() {
    return std::make_unique<QtClock>();
}

}  // namespace rm
