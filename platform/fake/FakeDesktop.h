// Fakes of the desktop interfaces for the tests: a scripted window list that
// records close and minimise requests, a sound output, a launcher, message
// boxes, a file dialog, a program folder and a clock the test moves by hand.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <vector>

#include "platform/DesktopApi.h"

namespace rm {

class FakeWindowSystem : public WindowSystem {
public:
    std::map<WindowId, QString> windows;  // id -> title
    std::vector<WindowId> closed, minimized;

    std::vector<WindowId> TopLevelWindows() override {
        std::vector<WindowId> ids;
        for (auto& [id, title] : windows) ids.push_back(id);
        return ids;
    }
    QString TitleOf(WindowId w) override {
        auto it = windows.find(w);
        return it == windows.end() ? QString() : it->second;
    }
    void RequestClose(WindowId w) override { closed.push_back(w); }
    void Minimize(WindowId w) override { minimized.push_back(w); }
};

class FakeSoundOutput : public SoundOutput {
public:
    QStringList played;
    void PlayAsync(const QString& path) override { played.append(path); }
};

class FakeProgramLauncher : public ProgramLauncher {
public:
    QStringList started;
    bool succeed = true;
    std::function<void(const QString&)> onStart;
    bool StartMinimized(const QString& path) override {
        started.append(path);
        if (onStart) onStart(path);
        return succeed;
    }
};

class FakeMessageBoxes : public MessageBoxes {
public:
    struct Shown {
        QString text;
        int style;
    };
    std::vector<Shown> shown;
    void Show(const QString& text, int style) override { shown.push_back({text, style}); }
};

class FakeFileDialog : public FileDialog {
public:
    QString next;  // what the dialog reports after closing
    int shown = 0;
    QString ShowOpen() override {
        ++shown;
        return next;
    }
};

class FakeProgramFolder : public ProgramFolder {
public:
    QString path = QStringLiteral("/opt/router-monitor");
    QString Path() override { return path; }
};

// A settings folder at a path the test chooses; Create only reports what the
// test sets, it makes nothing.
class FakeSettingsFolder : public SettingsFolder {
public:
    QString path = QStringLiteral("/opt/router-monitor");
    QString defaults;       // empty: the settings live in the program folder
    QString createError;    // non-empty: Create fails with it
    int created = 0;
    QString Path() override { return path; }
    bool Create(QString* error) override {
        ++created;
        if (createError.isEmpty()) return true;
        *error = createError;
        return false;
    }
    QString DefaultsPath() override { return defaults; }
};

// Time moves only when the code under test sleeps (or the test says so); DoEvents
// runs what the test hooked in, so events "arrive" during waits.
class FakeClock : public Clock {
public:
    uint32_t now = 0;
    uint64_t slept = 0;
    int doEvents = 0;
    std::function<void()> onDoEvents;
    uint32_t TimeGetTime() override { return now; }
    void Sleep(uint32_t ms) override {
        now += ms;  // wraps like the real 32-bit counter
        slept += ms;
    }
    void DoEvents() override {
        ++doEvents;
        if (onDoEvents) onDoEvents();
    }
};

}  // namespace rm
