// The run state of the window's logic: the fields the design keeps on Form1.
#pragma once

#include <cstdint>

#include "core/TrayApi.h"

namespace rm {

struct MonitorState {
    int16_t stopjiankong = 0;  // 1: stop requested, carried out at the next check point
    int16_t qidong = 0;        // 1: the download manager was started since the last alarm
    int16_t ki = 0;            // the flash phase, 0 or -1
    int32_t kiki = 0;          // Timer1 ticks since the last scan
    int16_t found = 0;         // other computers found by the last sweep that found any
    // True while a MonitorTick runs (its waits let further ticks through).
    bool tickRunning = false;
    TrayRecord trayicon;
};

}  // namespace rm
