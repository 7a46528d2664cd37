// The monitor cycle: the scan timer's tick handler, the scan with its sweeps and
// MAC filters, the stop of monitoring, and the wait that keeps the window's events
// flowing.
#pragma once

#include <QString>
#include <cstdint>

class QListWidget;

namespace rm {

class Form1;

// Timer1's tick: counts idle ticks, runs a scan when the counter equals the
// period in Text8, carries out a pending stop on idle ticks. Ticks that arrive
// while a tick is still running (inside one of its waits) are ignored.
void MonitorTick(Form1& form);

// One scan: this machine and the router, up to ten sweeps, the verdict.
void RunScan(Form1& form);

// Removes every entry whose text contains `mac` (exact, case-sensitive).
void RemoveEntriesContaining(QListWidget* list, const QString& mac);

// Ends monitoring: buttons, labels and timers back to the stopped state.
void StopMonitoring(Form1& form);

// Waits at least `ms` milliseconds, letting pending window events run between
// sleeps of 100 ms.
void TimedWait(Form1& form, uint32_t ms);

}  // namespace rm
