// The millisecond clock and the event pump of the monitor's waits: a monotonic
// 32-bit millisecond counter (timeGetTime), a sleep that keeps the window alive,
// and "let pending window events run" through the Qt event loop.
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "gui/qt/QtFrontEnd.h"

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

    // The wait's 100 ms sleeps would otherwise leave the window frozen for a
    // little over 100 ms at a time (the events collected meanwhile are served
    // only afterwards). Events arriving during the sleep are served as they come
    // instead; that is no more re-entry than the DoEvents that follows, and the
    // monitor's tick guard already covers it.
    void Sleep(uint32_t ms) override {
        if (QCoreApplication::instance() == nullptr) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            return;
        }
        QEventLoop loop;
        QTimer::singleShot(std::chrono::milliseconds(ms), Qt::PreciseTimer, &loop,
                           &QEventLoop::quit);
        loop.exec();
    }

    void DoEvents() override {
        if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
    }

    void EndProgram(bool atOnce) override {
        if (atOnce) {
            std::fflush(nullptr);
            std::_Exit(0);
        }
        QCoreApplication::exit(0);
    }
};

}  // namespace

std::unique_ptr<Clock> MakeQtClock() {
    return std::make_unique<QtClock>();
}

}  // namespace rm
