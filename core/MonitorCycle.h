// The monitor cycle: the scan timer's tick handler, the scan with its sweeps and
// MAC filters, the stop of monitoring, and the wait that keeps the window's events
// flowing.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/Monitor.h"

namespace rm {

// Timer1's tick: counts idle ticks, runs a scan when the counter equals the
// period in Text8, carries out a pending stop on idle ticks. Ticks that arrive
// while a tick is still running (inside one of its waits) are ignored.
void MonitorTick(Monitor& m);

// One scan: this machine and the router, up to ten sweeps, the verdict.
void RunScan(Monitor& m);

// Removes every entry of List1 whose text contains `mac` (exact, case-sensitive).
void RemoveEntriesContaining(Form1Controls& form, std::string_view mac);

// Ends monitoring: buttons, labels and timers back to the stopped state.
void StopMonitoring(Monitor& m);

// Waits at least `ms` milliseconds, letting pending window events run between
// sleeps of 100 ms.
void TimedWait(Monitor& m, uint32_t ms);

// "未知" in the button-text colour: no verdict.
void ShowUnknownVerdict(Form1Controls& form);

}  // namespace rm
