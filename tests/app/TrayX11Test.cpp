// The window and its tray icon on a real X display with a window manager and an
// XEmbed tray host (trayer), driven by real pointer clicks through xdotool.
// Also saves a screenshot of the window for a look by eye.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include "core/Tray.h"
#include "gui/qt/Fonts.h"
#include "gui/qt/QtTrayHost.h"
#include "tests/app/WindowFixture.h"

namespace rm {
namespace {

bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QTest::qWait(20);
    return done();
}

bool Xdotool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    return p.waitForFinished(5000) && p.exitCode() == 0;
}

class TrayX11Test : public WindowFixture {
  protected:
    static void SetUpTestSuite() { InstallFontSubstitutions(); }

    void SetUp() override {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            GTEST_SKIP() << "needs an X display (run under scripts/with-x11.sh --tray)";
        }
        services.tray = &host;
        MakeWindow();
    }

    void TearDown() override {
        RemoveTrayIcon(*monitor);
        monitor.reset();
    }

    QRect IconRect() {
        const TrayRecord& r = monitor->state.trayicon;
        return host.IconGeometry(r.hWnd, r.uID);
    }

    QtTrayHost host;
};

TEST_F(TrayX11Test, IconEmbedsAndALeftDoubleClickBringsTheHiddenWindowBack) {
    ASSERT_TRUE(WaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }))
        << "no tray host on the display";
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    AddTrayIcon(*monitor, IconId::Window);

    // Embedded: the tray gives the icon a place inside its own strip at the top right.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    ASSERT_TRUE(WaitFor([&] {
        const QRect r = IconRect();
        return r.isValid() && r.width() > 0 && r.top() < 40 && r.left() > screen.width() - 200;
    })) << "icon geometry "
        << IconRect().x() << "," << IconRect().y();

    // Flashing swaps pictures in place: the icon keeps its slot.
    const QRect slot = IconRect();
    monitor->Timer2Tick();
    monitor->Timer2Tick();
    ReplaceTrayIcon(*monitor, IconId::Window);
    QTest::qWait(200);
    EXPECT_EQ(IconRect(), slot);

    form->Command4->click();
    ASSERT_TRUE(WaitFor([&] { return !form->isVisible(); }));
    EXPECT_TRUE(host.Has(monitor->state.trayicon.hWnd, 1));

    const QPoint centre = IconRect().center();
    ASSERT_TRUE(Xdotool({"mousemove", QString::number(centre.x()), QString::number(centre.y())}));
    // A single left click and a right double-click do nothing.
    ASSERT_TRUE(Xdotool({"click", "1"}));
    QTest::qWait(800);
    ASSERT_TRUE(Xdotool({"click", "--repeat", "2", "--delay", "80", "3"}));
    QTest::qWait(800);
    EXPECT_FALSE(form->isVisible());

    ASSERT_TRUE(Xdotool({"click", "--repeat", "2", "--delay", "80", "1"}));
    EXPECT_TRUE(WaitFor([&] { return form->isVisible(); }));
}

// Saves the window as the screen shows it, frame included, for a look by eye;
// RM_SCREENSHOT names the file (default: a temporary one).
TEST_F(TrayX11Test, WindowScreenshot) {
    form->Text12->setText(QStringLiteral("192.168."));
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    QTest::qWait(300);
    QString path = qEnvironmentVariable("RM_SCREENSHOT");
    if (path.isEmpty()) path = QDir::temp().filePath(QStringLiteral("router-monitor-window.png"));
    const QPixmap shot =
        QGuiApplication::primaryScreen()->grabWindow(0).copy(form->frameGeometry());
    ASSERT_FALSE(shot.isNull());
    ASSERT_TRUE(shot.save(path));
    std::cout << "screenshot: " << path.toStdString() << std::endl;

    // The big run-state caption is drawn: dark pixels inside Label14.
    const QImage image = form->grab(form->Label14->geometry()).toImage();
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 80;
    EXPECT_GT(dark, 200);
}

}  // namespace
}  // namespace rm
