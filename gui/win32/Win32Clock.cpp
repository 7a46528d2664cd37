// The millisecond clock and the event pump of the monitor's waits: timeGetTime,
// a sleep that keeps serving the window's messages, DoEvents and the end of the
// program.
#include <windows.h>
// after windows.h, whose types it uses
#include <mmsystem.h>

#include <cstdio>
#include <cstdlib>

#include "gui/win32/Win32FrontEnd.h"

namespace rm {

namespace {

class Win32Clock : public Clock {
  public:
    uint32_t TimeGetTime() override { return timeGetTime(); }

    // The window stays alive through the wait: messages are served as they
    // come, as the DoEvents after it would serve them anyway.
    void Sleep(uint32_t ms) override {
        const ULONGLONG end = GetTickCount64() + ms;
        for (;;) {
            if (!PumpPending()) return;
            const ULONGLONG now = GetTickCount64();
            if (now >= end) return;
            MsgWaitForMultipleObjectsEx(0, nullptr, DWORD(end - now), QS_ALLINPUT,
                                        MWMO_INPUTAVAILABLE);
        }
    }

    void DoEvents() override { PumpPending(); }

    void EndProgram(bool atOnce) override {
        if (atOnce) {
            std::fflush(nullptr);
            std::_Exit(0);
        }
        PostQuitMessage(0);
    }
};

}  // namespace

std::unique_ptr<Clock> MakeWin32Clock() {
    return std::make_unique<Win32Clock>();
}

}  // namespace rm
