// Closing and minimising real X windows by title: windows opened by
// rm-title-window on a virtual display (with openbox, and again without a
// window manager), acted on through the Xlib window system.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QtTest/QTest>
#include <memory>

#include "Eventually.h"
#include "core/WindowActions.h"
#include "platform/linux/LinuxPlatform.h"

// Xlib last: its macros (None, Status, Bool ...) would clash with Qt's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace rm {
namespace {

using WindowId = WindowSystem::WindowId;

// One rm-title-window process; stopped when the test ends, however it ends.
class TitleWindows {
  public:
    explicit TitleWindows(const QStringList& args) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(RM_TITLE_WINDOW, args);
        int titles = int(args.size()) - int(args.filter(QRegularExpression("^--")).size());
        if (args.contains("--pid")) --titles;  // its value
        while (int(ids.size()) < titles && process_.waitForReadyRead(5000)) ReadLines();
    }
    ~TitleWindows() {
        process_.kill();
        process_.waitForFinished(5000);
    }
    // Windows the program has closed on request so far.
    QSet<WindowId> Closed() {
        ReadLines();
        return closed_;
    }
    void Kill() {
        process_.kill();
        process_.waitForFinished(5000);
    }

    std::vector<WindowId> ids;

  private:
    void ReadLines() {
        while (process_.canReadLine() || process_.waitForReadyRead(0)) {
            if (!process_.canReadLine()) continue;
            QString line = QString::fromUtf8(process_.readLine()).trimmed();
            if (line.startsWith("closed "))
                closed_.insert(line.mid(7).toULongLong(nullptr, 16));
            else
                ids.push_back(line.toULongLong(nullptr, 16));
        }
    }
    QProcess process_;
    QSet<WindowId> closed_;
};

// WM_STATE as the window manager sets it: 1 normal, 3 iconic, -1 unknown.
long WmState(WindowId w) {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return -1;
    Atom wmState = XInternAtom(dpy, "WM_STATE", False);
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    long state = -1;
    if (XGetWindowProperty(dpy, w, wmState, 0, 2, False, wmState, &type, &format, &n, &after,
                           &data) == Success &&
        data && n >= 1)
        state = reinterpret_cast<long*>(data)[0];
    if (data) XFree(data);
    XCloseDisplay(dpy);
    return state;
}

class X11WindowActions : public ::testing::Test {
  protected:
    void SetUp() override {
        if (qgetenv("DISPLAY").isEmpty()) GTEST_SKIP() << "no X display";
        windows = MakeX11WindowSystem();
    }
    // The window manager lists new clients a moment after they map.
    void WaitUntilListed(const std::vector<WindowId>& ids) {
        auto listed = [&] {
            auto all = windows->TopLevelWindows();
            for (WindowId id : ids)
                if (std::find(all.begin(), all.end(), id) == all.end()) return false;
            return true;
        };
        ASSERT_EVENTUALLY_TRUE(listed(), 5000);
    }

    std::unique_ptr<WindowSystem> windows;
};

TEST_F(X11WindowActions, ClosesEveryMatchingWindowAndNoOther) {
    TitleWindows app({"Thunder - 下载", "My Thunder 2", "thunder", "THUNDER",
                      QString(255, QChar('x')) + "Thunder", "", "迅雷7 下载中", "迅雷"});
    ASSERT_EQ(app.ids.size(), 8u);
    WaitUntilListed(app.ids);
    EXPECT_EQ(windows->TitleOf(app.ids[6]), "迅雷7 下载中");
    EXPECT_EQ(windows->TitleOf(app.ids[5]), "");

    CloseWindowsByTitle(*windows, "Thunder");
    QSet<WindowId> wanted{app.ids[0], app.ids[1]};
    EXPECT_EVENTUALLY_EQ(app.Closed(), wanted, 5000);

    CloseWindowsByTitle(*windows, "迅雷");
    wanted += {app.ids[6], app.ids[7]};
    EXPECT_EVENTUALLY_EQ(app.Closed(), wanted, 5000);
    // Nothing else arrives late.
    QTest::qWait(200);
    EXPECT_EQ(app.Closed(), wanted);
}

TEST_F(X11WindowActions, MinimisesEveryMatchingWindowAndNoOther) {
    TitleWindows app({"迅雷 a", "b 迅雷", "迅 雷"});
    ASSERT_EQ(app.ids.size(), 3u);
    WaitUntilListed(app.ids);
    EXPECT_EVENTUALLY_EQ(WmState(app.ids[0]), 1L, 5000);

    MinimizeWindowsByTitle(*windows, "迅雷");
    EXPECT_EVENTUALLY_EQ(WmState(app.ids[0]), long(IconicState), 5000);
    EXPECT_EVENTUALLY_EQ(WmState(app.ids[1]), long(IconicState), 5000);
    EXPECT_EQ(WmState(app.ids[2]), long(NormalState));
    EXPECT_TRUE(app.Closed().isEmpty());
}

TEST_F(X11WindowActions, AWindowThatRefusesStaysAndTheCallReturns) {
    TitleWindows stubborn({"--refuse-close", "迅雷 保存?"});
    TitleWindows polite({"迅雷 下载"});
    ASSERT_EQ(stubborn.ids.size(), 1u);
    ASSERT_EQ(polite.ids.size(), 1u);
    WaitUntilListed({stubborn.ids[0], polite.ids[0]});

    CloseWindowsByTitle(*windows, "迅雷");
    EXPECT_EVENTUALLY_EQ(polite.Closed().size(), 1, 5000);
    auto all = windows->TopLevelWindows();
    EXPECT_NE(std::find(all.begin(), all.end(), stubborn.ids[0]), all.end());
    EXPECT_EQ(windows->TitleOf(stubborn.ids[0]), "迅雷 保存?");
}

TEST_F(X11WindowActions, ReadsTheOldTitlePropertyWhenThereIsNoNewOne) {
    TitleWindows app({"--wm-name-only", "迅雷 旧版", "Thunder old"});
    ASSERT_EQ(app.ids.size(), 2u);
    WaitUntilListed(app.ids);
    EXPECT_EQ(windows->TitleOf(app.ids[0]), "迅雷 旧版");
    CloseWindowsByTitle(*windows, "旧版");
    EXPECT_EVENTUALLY_EQ(app.Closed(), QSet<WindowId>{app.ids[0]}, 5000);
}

TEST_F(X11WindowActions, AWindowGoneBeforeTheRequestIsSkipped) {
    auto gone = std::make_unique<TitleWindows>(QStringList{"迅雷 gone"});
    ASSERT_EQ(gone->ids.size(), 1u);
    WindowId stale = gone->ids[0];
    gone->Kill();

    // BadWindow on every call, none of them fatal, and the connection stays usable.
    EXPECT_EQ(windows->TitleOf(stale), "");
    windows->RequestClose(stale);
    windows->Minimize(stale);

    TitleWindows live({"迅雷 live"});
    ASSERT_EQ(live.ids.size(), 1u);
    WaitUntilListed(live.ids);
    CloseWindowsByTitle(*windows, "迅雷");
    EXPECT_EVENTUALLY_EQ(live.Closed().size(), 1, 5000);
}

// The monitor's own caption contains "监视": a fragment that matches it, or
// one of blanks only, must not close the monitor or anything else.
TEST_F(X11WindowActions, NeverActsOnThisProcessesWindowsNorOnBlankFragments) {
    const QString pid = QString::number(QCoreApplication::applicationPid());
    TitleWindows mine({"--pid", pid, "路由器使用监视器 "});
    TitleWindows listedAsOwn({"监视 dialog"});
    TitleWindows other({"监视 other"});
    ASSERT_EQ(mine.ids.size(), 1u);
    ASSERT_EQ(listedAsOwn.ids.size(), 1u);
    ASSERT_EQ(other.ids.size(), 1u);
    WaitUntilListed(other.ids);

    auto own = MakeX11WindowSystem([&] { return listedAsOwn.ids; });
    auto all = own->TopLevelWindows();
    EXPECT_EQ(std::find(all.begin(), all.end(), mine.ids[0]), all.end());
    EXPECT_EQ(std::find(all.begin(), all.end(), listedAsOwn.ids[0]), all.end());

    CloseWindowsByTitle(*own, " ");
    CloseWindowsByTitle(*own, "\t \u3000");
    MinimizeWindowsByTitle(*own, "   ");
    QTest::qWait(200);
    EXPECT_TRUE(other.Closed().isEmpty());

    CloseWindowsByTitle(*own, "监视");
    EXPECT_EVENTUALLY_EQ(other.Closed().size(), 1, 5000);
    QTest::qWait(200);
    EXPECT_TRUE(mine.Closed().isEmpty());
    EXPECT_TRUE(listedAsOwn.Closed().isEmpty());
}

// Any client may write the root's properties. A client list or title of the
// wrong format is ignored instead of being read past its end.
TEST_F(X11WindowActions, PropertiesOfTheWrongFormatAreIgnored) {
    TitleWindows app({"迅雷 fmt"});
    ASSERT_EQ(app.ids.size(), 1u);
    WaitUntilListed(app.ids);
    Display* dpy = XOpenDisplay(nullptr);
    ASSERT_NE(dpy, nullptr);
    const Window root = DefaultRootWindow(dpy);
    const Atom clientList = XInternAtom(dpy, "_NET_CLIENT_LIST", False);
    const Atom netWmName = XInternAtom(dpy, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);

    std::vector<unsigned char> junk(65536, 0x41);
    XChangeProperty(dpy, root, clientList, XA_WINDOW, 8, PropModeReplace, junk.data(),
                    int(junk.size()));
    // A title claiming format 32: 4 items would be 32 bytes, of which 8 exist.
    long wide[4] = {0x41414141, 0x42424242, 0, 0};
    XChangeProperty(dpy, app.ids[0], netWmName, utf8, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(wide), 2);
    XSync(dpy, False);

    for (WindowId w : windows->TopLevelWindows()) EXPECT_NE(w, 0x4141414141414141u);
    // The old title property still names the window.
    EXPECT_EQ(windows->TitleOf(app.ids[0]), "迅雷 fmt");

    // Put a sane list back for the window manager's next update.
    XDeleteProperty(dpy, root, clientList);
    XSync(dpy, False);
    XCloseDisplay(dpy);
}

TEST_F(X11WindowActions, WithoutAnXDisplayNothingHappens) {
    TitleWindows app({"迅雷 untouched"});
    ASSERT_EQ(app.ids.size(), 1u);
    QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    auto none = MakeX11WindowSystem();
    EXPECT_TRUE(none->TopLevelWindows().empty());
    CloseWindowsByTitle(*none, "迅雷");
    MinimizeWindowsByTitle(*none, "迅雷");
    none->RequestClose(app.ids[0]);
    qputenv("DISPLAY", display);
    QTest::qWait(200);
    EXPECT_TRUE(app.Closed().isEmpty());
}

}  // namespace
}  // namespace rm
