// Fakes of the desktop interfaces for the tests: a scripted window list that
// records close and minimise requests, a sound output, a launcher, message
// boxes, a file dialog, a program folder and a clock the test moves by hand.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/DesktopApi.h"

namespace rm {

class FakeWindowSystem : public WindowSystem {
  public:
    std::map<WindowId, std::string> windows;  // id -> title
    std::vector<WindowId> closed, minimized;

    std::vector<WindowId> TopLevelWindows() override {
        std::vector<WindowId> ids;
        for (auto& [id, title] : windows) ids.push_back(id);
        return ids;
    }
    std::string TitleOf(WindowId w) override {
        auto it = windows.find(w);
        return it == windows.end() ? std::string() : it->second;
    }
    void RequestClose(WindowId w) override { closed.push_back(w); }
    void Minimize(WindowId w) override { minimized.push_back(w); }
};

class FakeSoundOutput : public SoundOutput {
  public:
    std::vector<std::string> played;
    void PlayAsync(const std::string& path) override { played.push_back(path); }
};

class FakeProgramLauncher : public ProgramLauncher {
  public:
    std::vector<std::string> started;
    bool succeed = true;
    std::function<void(const std::string&)> onStart;
    bool StartMinimized(const std::string& path) override {
        started.push_back(path);
        if (onStart) onStart(path);
        return succeed;
    }
};

class FakeMessageBoxes : public MessageBoxes {
  public:
    struct Shown {
        std::string text;
        int style;
    };
    std::vector<Shown> shown;
    void Show(const std::string& text, int style) override { shown.push_back({text, style}); }
};

class FakeFileDialog : public FileDialog {
  public:
    std::string next;  // what the dialog reports after closing
    int shown = 0;
    std::string ShowOpen() override {
        ++shown;
        return next;
    }
};

class FakeProgramFolder : public ProgramFolder {
  public:
    std::string path = "/opt/router-monitor";
    std::string Path() override { return path; }
};

// Time moves only when the code under test sleeps (or the test says so); DoEvents
// runs what the test hooked in, so events "arrive" during waits.
class FakeClock : public Clock {
  public:
    uint32_t now = 0;
    uint64_t slept = 0;
    int doEvents = 0;
    std::function<void()> onDoEvents;
    std::function<void(uint32_t ms)> onSleep;  // after the time has moved on
    uint32_t TimeGetTime() override { return now; }
    void Sleep(uint32_t ms) override {
        now += ms;  // wraps like the real 32-bit counter
        slept += ms;
        if (onSleep) onSleep(ms);
    }
    void DoEvents() override {
        ++doEvents;
        if (onDoEvents) onDoEvents();
    }
    // Records how the program was asked to end; nothing ends.
    int ended = 0, endedAtOnce = 0;
    void EndProgram(bool atOnce) override { ++(atOnce ? endedAtOnce : ended); }
};

}  // namespace rm
