// The download manager as a native Wayland client in a headless Wayland
// session (with-wayland.sh), acted on through the window system the program
// wires: X11 (absent here) and Wayland together. On sway, wlroots'
// foreign-toplevel management: close works, minimise is accepted and ignored.
// On KWin (RM_KWIN=1), KDE Plasma's window management, offered because the
// program's desktop entry names this test: close and minimise work.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QProcess>
#include <QStringList>
#include <QWidget>
#include <memory>

#include "Eventually.h"
#include "core/Monitor.h"
#include "core/Reactions.h"
#include "core/WindowActions.h"
#include "platform/fake/FakeForm1.h"
#include "platform/fake/FakeServices.h"
#include "platform/linux/LinuxPlatform.h"

namespace rm {
namespace {

const std::string kFragment = "迅雷";
const std::string kOwnTitle = "路由器使用监视器 迅雷";

// One rm-wayland-title-window process, ended with the test however it ends.
struct NativeWindows {
    explicit NativeWindows(const QStringList& args) {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(RM_WAYLAND_TITLE_WINDOW, args);
        ready = process.waitForReadyRead(5000) && process.readLine().trimmed() == "ready";
    }
    ~NativeWindows() {
        process.kill();
        process.waitForFinished(5000);
    }
    QProcess process;
    bool ready = false;
};

class WaylandWindowActionsTest : public ::testing::Test, protected FakeServices {
  protected:
    void SetUp() override {
        if (qEnvironmentVariable("WAYLAND_DISPLAY").isEmpty())
            GTEST_SKIP() << "needs the Wayland session of with-wayland.sh";
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("wayland"));
        // As main() names the program: Qt makes it the windows' application id.
        QGuiApplication::setDesktopFileName(QStringLiteral("router-monitor"));
        auto ownWayland = MakeWaylandWindowSystem(
            "router-monitor", [] { return std::vector<std::string>{kOwnTitle}; });
        wayland = ownWayland.get();
        std::vector<std::unique_ptr<WindowSystem>> parts;
        parts.push_back(MakeX11WindowSystem());
        parts.push_back(std::move(ownWayland));
        windows = MakeCompositeWindowSystem(std::move(parts));
    }

    // The listed windows whose titles hold the fragment.
    std::vector<WindowSystem::WindowId> Matching() {
        std::vector<WindowSystem::WindowId> ids;
        for (auto w : wayland->TopLevelWindows())
            if (wayland->TitleOf(w).find(kFragment) != std::string::npos) ids.push_back(w);
        return ids;
    }

    std::unique_ptr<WindowSystem> windows;
    WaylandWindowSystem* wayland = nullptr;
};

TEST_F(WaylandWindowActionsTest, OthersFoundCloseTheNativeManagerAndSpareTheMonitorsOwnWindows) {
    ASSERT_TRUE(wayland->SessionPresent());
    EXPECT_TRUE(wayland->CanCloseOthers());

    NativeWindows manager({"迅雷5 下载中", "迅雷 新建任务"});
    // The monitor's own windows: a Qt window of this process, known by the
    // application id Qt gives it, and one known by its title (the toolkit may
    // run under XWayland, where only the title tells them).
    QWidget own;
    own.setWindowTitle(QStringLiteral("迅雷 监视"));
    own.show();
    // Mapped once the compositor lists it to a client that keeps nothing out.
    auto unfiltered = MakeWaylandWindowSystem("");
    auto listed = [&unfiltered](const std::string& title) {
        for (auto w : unfiltered->TopLevelWindows())
            if (unfiltered->TitleOf(w) == title) return true;
        return false;
    };
    ASSERT_EVENTUALLY_TRUE(listed("迅雷 监视"), 5000);
    NativeWindows spared({QString::fromStdString(kOwnTitle), "记事本"});
    ASSERT_TRUE(manager.ready && spared.ready);
    ASSERT_EVENTUALLY_TRUE(Matching().size() == 2, 3000);

    // KWin minimises; sway takes the request and ignores it. Nothing closes.
    const bool kwin = qEnvironmentVariable("RM_KWIN") == "1";
    MinimizeWindowsByTitle(*windows, kFragment);
    EXPECT_EQ(Matching().size(), 2u);
    for (auto w : Matching()) EXPECT_EVENTUALLY_EQ(wayland->IsMinimized(w), kwin, 2000);

    FakeForm1* form = nullptr;
    services.windows = windows.get();
    Monitor monitor(services, [&form](Form1Events&) {
        auto f = std::make_unique<FakeForm1>();
        form = f.get();
        return f;
    });
    (*form)[Control::Check2].check = CheckState::Ticked;
    (*form)[Control::Text15].text = "/opt/thunder/start";
    (*form)[Control::Text14].text = kFragment;
    ReactToOthersFound(monitor);

    ASSERT_TRUE(manager.process.waitForFinished(5000)) << "the manager's windows were not closed";
    const QByteArray said = manager.process.readAll();
    EXPECT_TRUE(said.contains("closed 0") && said.contains("closed 1")) << said.toStdString();
    EXPECT_TRUE(Matching().empty());
    EXPECT_TRUE(own.isVisible());
    EXPECT_TRUE(listed("迅雷 监视"));
    spared.process.waitForReadyRead(500);  // a close asked of either would show here
    EXPECT_FALSE(spared.process.readAll().contains("closed"));
}

// The connection is read only when there is something to do; meanwhile a
// manager showing its progress in its title fills it (sway then drops it), and
// on KWin a window new since the last look has no title yet. The next action
// still finds the window by its title.
TEST_F(WaylandWindowActionsTest, AWindowNewSinceTheLastLookIsFoundAfterAFloodOfTitles) {
    ASSERT_EQ(Matching().size(), 0u);  // connected, and then left alone
    NativeWindows manager({"--retitle", "8000", "迅雷5 下载中"});
    ASSERT_TRUE(manager.ready);
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.process.canReadLine(); }, 20000));
    ASSERT_EQ(manager.process.readLine().trimmed(), "retitled");
    CloseWindowsByTitle(*windows, kFragment);
    EXPECT_TRUE(manager.process.waitForFinished(5000)) << "the manager's window was not closed";
}

}  // namespace
}  // namespace rm
