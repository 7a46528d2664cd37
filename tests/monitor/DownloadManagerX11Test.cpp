// The download manager driven by the verdicts on a real X display with openbox
// (with-x11.sh): rm-title-window stands in for the manager, started by the real
// launcher through a small start script whose path holds a blank. The network
// side is faked: the router answers the re-check with the MAC the row keeps.
#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <memory>

#include "core/Monitor.h"
#include "core/Reactions.h"
#include "core/Tray.h"
#include "gui/qt/Form1.h"
#include "gui/qt/QtFrontEnd.h"
#include "platform/fake/FakeServices.h"
#include "platform/linux/LinuxPlatform.h"

// Xlib last: its macros (None, Status, Bool) clash with the Qt headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace rm::test {
namespace {

const QString kFragment = QStringLiteral("迅雷");

class DownloadManagerX11Test : public ::testing::Test, protected FakeServices {
  protected:
    void SetUp() override {
        if (qEnvironmentVariable("QT_QPA_PLATFORM") != QStringLiteral("xcb"))
            GTEST_SKIP() << "needs the X display of with-x11.sh";
        display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr);
        ASSERT_TRUE(dir.isValid());

        // The start script: the launcher gets its path and nothing else.
        QDir(dir.path()).mkdir(QStringLiteral("Thunder 5"));
        script = dir.filePath(QStringLiteral("Thunder 5/start manager"));
        pidFile = dir.filePath(QStringLiteral("pids"));
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("#!/bin/sh\necho $$ >> '%1'\nexec '%2' '迅雷5 下载中'\n")
                    .arg(pidFile, QStringLiteral(RM_TITLE_WINDOW))
                    .toUtf8());
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        arp.Set("192.168.1.1", {0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x01});
        addresses.SetAddresses({"192.168.1.20"});
        realWindows = MakeX11WindowSystem();
        realLauncher = MakeLinuxProgramLauncher();
        realClock = MakeQtClock();
        services.windows = realWindows.get();
        services.launcher = realLauncher.get();
        services.clock = realClock.get();
        monitor = std::make_unique<Monitor>(services, [this](Form1Events& events) {
            auto f = std::make_unique<Form1>(events);
            form = f.get();
            return f;
        });
        AddTrayIcon(*monitor, IconId::Window);
        form->Text1->setText(QStringLiteral("00-AA-BB-CC-DD-01"));
        form->Check2->setCheckState(Qt::Checked);
        form->Text15->setText(script);
        form->Text14->setText(kFragment);
    }

    void TearDown() override {
        // Whatever the launcher started is ours to end.
        QFile f(pidFile);
        if (f.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : f.readAll().split('\n'))
                if (line.toInt() > 0) ::kill(line.toInt(), SIGTERM);
        }
        if (handStarted.state() != QProcess::NotRunning) {
            handStarted.kill();
            handStarted.waitForFinished(3000);
        }
        if (display) XCloseDisplay(display);
    }

    // Windows of the desktop whose title holds the fragment.
    std::vector<WindowSystem::WindowId> ManagerWindows() {
        std::vector<WindowSystem::WindowId> out;
        for (auto w : realWindows->TopLevelWindows())
            if (realWindows->TitleOf(w).find(kFragment.toStdString()) != std::string::npos)
                out.push_back(w);
        return out;
    }

    bool IsIconic(WindowSystem::WindowId w) {
        Atom wmState = XInternAtom(display, "WM_STATE", False);
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        bool iconic = false;
        if (XGetWindowProperty(display, w, wmState, 0, 2, False, wmState, &type, &format, &count,
                               &after, &data) == Success &&
            data && count >= 1) {
            iconic = reinterpret_cast<long*>(data)[0] == IconicState;
        }
        if (data) XFree(data);
        return iconic;
    }

    // Polls `done` with the event loop running, for up to `ms`.
    template <typename F>
    bool WaitFor(F done, int ms = 5000) {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms) return false;
            QCoreApplication::processEvents();
            QThread::msleep(20);
        }
        return true;
    }

    int Starts() {
        QFile f(pidFile);
        if (!f.open(QIODevice::ReadOnly)) return 0;
        return f.readAll().count('\n');
    }

    Display* display = nullptr;
    QTemporaryDir dir;
    QString script, pidFile;
    QProcess handStarted;
    std::unique_ptr<WindowSystem> realWindows;
    std::unique_ptr<ProgramLauncher> realLauncher;
    std::unique_ptr<Clock> realClock;
    std::unique_ptr<Monitor> monitor;
    Form1* form = nullptr;
};

TEST_F(DownloadManagerX11Test, ClosedWhenOthersFoundStartedAndMinimisedOnceWhenFree) {
    // A manager the user started by hand.
    handStarted.start(QStringLiteral(RM_TITLE_WINDOW), {QStringLiteral("迅雷5 手动")});
    ASSERT_TRUE(handStarted.waitForReadyRead(5000));
    ASSERT_TRUE(WaitFor([&] { return ManagerWindows().size() == 1; }));

    ReactToOthersFound(*monitor);
    EXPECT_TRUE(handStarted.waitForFinished(5000)) << "its window was not closed";
    EXPECT_TRUE(WaitFor([&] { return ManagerWindows().empty(); }));
    EXPECT_EQ(monitor->state.qidong, 0);

    QElapsedTimer took;
    took.start();
    ReactToNetworkFree(*monitor);
    EXPECT_GE(took.elapsed(), 2000);
    EXPECT_EQ(Starts(), 1);
    EXPECT_EQ(monitor->state.qidong, 1);
    EXPECT_EQ(form->Label15->text(), QStringLiteral("安全"));
    std::vector<WindowSystem::WindowId> started = ManagerWindows();
    ASSERT_EQ(started.size(), 1u);
    EXPECT_TRUE(WaitFor([&] { return IsIconic(started[0]); }, 2000)) << "not minimised";

    ReactToNetworkFree(*monitor);  // already started by us: nothing
    QThread::msleep(300);
    EXPECT_EQ(Starts(), 1);
    EXPECT_EQ(ManagerWindows().size(), 1u);

    ReactToOthersFound(*monitor);  // and closed again
    EXPECT_TRUE(WaitFor([&] { return ManagerWindows().empty(); }));
    EXPECT_EQ(monitor->state.qidong, 0);
}

}  // namespace
}  // namespace rm::test
