// The window and its tray icon on a real X display with a window manager: with
// an XEmbed tray host (trayer), driven by real pointer clicks through xdotool;
// with a StatusNotifierItem host on a private session bus; and with no tray at
// all. Also saves a screenshot of the window for a look by eye.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScreen>
#include <QSet>
#include <QStandardPaths>
#include <QStyleHints>
#include <QTest>

#include "core/Tray.h"
#include "gui/qt/Fonts.h"
#include "gui/qt/Icons.h"
#include "gui/qt/QtTrayHost.h"
#include "gui/qt/WindowReachNotice.h"
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

    // Without a tray the pictures go to the window's icon.
    QtTrayHost host{[this]() -> QWidget* { return form; }};
};

// Equal pixels, as far as a round trip through premultiplied alpha keeps them:
// fully transparent ones of any colour, others within a step of rounding.
bool SameImage(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int slack = 2 + 255 / std::max(qAlpha(p), 1);
            if ((qAlpha(p) || qAlpha(q)) &&
                (std::abs(qAlpha(p) - qAlpha(q)) > 1 || std::abs(qRed(p) - qRed(q)) > slack ||
                 std::abs(qGreen(p) - qGreen(q)) > slack || std::abs(qBlue(p) - qBlue(q)) > slack))
                return false;
        }
    return true;
}

// Which of the window's three pictures `image` shows, at any of the sizes they
// are drawn in; empty when none.
QString PictureOf(const QImage& image) {
    const QImage shown = image.convertToFormat(QImage::Format_ARGB32);
    for (auto [id, name] : {std::pair{IconId::Window, "window"},
                            {IconId::Picture1, "picture1"},
                            {IconId::Picture2, "picture2"}}) {
        const QImage own =
            IconImage(id).pixmap(shown.size()).toImage().convertToFormat(QImage::Format_ARGB32);
        if (SameImage(own, shown)) return QLatin1String(name);
    }
    return {};
}

// With no tray (no XEmbed tray, no StatusNotifierWatcher): the taskbar keeps
// the window and shows the alarm; once a tray appears, all is as with one.
TEST_F(TrayX11Test, NoTrayMinimisesToTheTaskbarAndTheWindowIconShowsTheAlarm) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()) << "run without a tray";
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    AddTrayIcon(*monitor, IconId::Window);
    auto windowIcon = [&] { return PictureOf(form->windowIcon().pixmap(32).toImage()); };

    form->Command4->click();
    ASSERT_TRUE(WaitFor([&] { return form->isMinimized(); }));
    EXPECT_TRUE(form->isVisible());
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {"-id", QString::number(form->winId()), "WM_STATE"});
    ASSERT_TRUE(xprop.waitForFinished(5000));
    EXPECT_TRUE(xprop.readAll().contains("Iconic")) << "not iconified by the window manager";

    ReplaceTrayIcon(*monitor, IconId::Picture2);  // the alarm
    EXPECT_EQ(windowIcon(), "picture2");
    monitor->Timer2Tick();  // a flash
    EXPECT_EQ(windowIcon(), "picture1");
    form->ShowWindow();  // as a double-click on the icon would
    EXPECT_TRUE(WaitFor([&] { return !form->isMinimized() && form->isVisible(); }));

    QProcess trayer;
    trayer.start(QStringLiteral("trayer"), {"--edge", "top", "--align", "right", "--widthtype",
                                            "pixel", "--width", "120", "--height", "32"});
    ASSERT_TRUE(WaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }));
    monitor->Timer2Tick();
    EXPECT_EQ(windowIcon(), "window");
    form->Command4->click();
    EXPECT_TRUE(WaitFor([&] { return !form->isVisible(); }));
    trayer.kill();
    trayer.waitForFinished(3000);
}

class TraySniTest : public TrayX11Test {
  protected:
    // Qt looks for a StatusNotifierWatcher once, at its first tray icon.
    void SetUp() override {
        StartHost();
        TrayX11Test::SetUp();
    }
    void TearDown() override {
        TrayX11Test::TearDown();
        StopHost();
    }
    // sni-host.py: a StatusNotifierWatcher, its host and a notification server
    // on the test's private session bus, asked over its stdin.
    void StartHost() {
        StopHost();
        sni = std::make_unique<QProcess>();
        sni->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sni->start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(RM_SNI_HOST)});
        ASSERT_EQ(Line(), "ready");
    }
    void StopHost() {
        if (!sni) return;
        sni->closeWriteChannel();
        if (!sni->waitForFinished(3000)) sni->kill();
        sni->waitForFinished(3000);
    }
    QByteArray Line() {
        WaitFor([&] { return sni->canReadLine(); });
        return sni->readLine().trimmed();
    }
    // The answer to one command; the event loop runs meanwhile, so that this
    // process answers the host's calls to its item.
    QJsonValue Ask(const char* command) {
        sni->write(QByteArray(command) + '\n');
        return QJsonDocument::fromJson("[" + Line() + "]").array().at(0);
    }
    // The picture the host reads from the item (every size it offers agrees).
    QString ShownPicture() {
        QSet<QString> seen;
        for (const QJsonValue& p : Ask("read")[QStringLiteral("pixmaps")].toArray()) {
            const QJsonArray a = p.toArray();
            const QByteArray pixels = QByteArray::fromHex(a[2].toString().toLatin1());
            const QImage image(reinterpret_cast<const uchar*>(pixels.constData()), a[0].toInt(),
                               a[1].toInt(), QImage::Format_ARGB32);
            seen.insert(PictureOf(image));
        }
        return seen.size() == 1 ? *seen.begin() : QStringLiteral("mixed or none");
    }
    std::unique_ptr<QProcess> sni;
};

TEST_F(TraySniTest, ItemShowsTipAndPicturesAndTwoActivationsBringTheHiddenWindowBack) {
    ASSERT_TRUE(WaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }));
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    AddTrayIcon(*monitor, IconId::Window);
    ASSERT_TRUE(WaitFor([&] { return Ask("items").toArray().size() == 1; }));

    const QJsonValue item = Ask("read");
    EXPECT_EQ(item[QStringLiteral("tooltip")].toString(), QStringLiteral("Tesk网监视"));
    EXPECT_EQ(item[QStringLiteral("title")].toString(), QGuiApplication::applicationDisplayName());
    EXPECT_EQ(ShownPicture(), "window");
    ReplaceTrayIcon(*monitor, IconId::Picture2);  // the alarm
    EXPECT_TRUE(WaitFor([&] { return ShownPicture() == "picture2"; }));
    monitor->Timer2Tick();  // a flash
    EXPECT_TRUE(WaitFor([&] { return ShownPicture() == "picture1"; }));
    ReplaceTrayIcon(*monitor, IconId::Window);

    form->Command4->click();
    ASSERT_TRUE(WaitFor([&] { return !form->isVisible(); }));
    // A host reports a click as Activate, and a double-click as two.
    auto activate = [&] { return Ask("activate")[QStringLiteral("ok")].toBool(); };
    ASSERT_TRUE(activate());
    QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 200);
    EXPECT_FALSE(form->isVisible());
    ASSERT_TRUE(activate() && activate());
    EXPECT_TRUE(WaitFor([&] { return form->isVisible(); }));

    // The panel restarts: the item registers with the new watcher.
    StartHost();
    EXPECT_TRUE(WaitFor([&] { return Ask("items").toArray().size() == 1; }));
    EXPECT_EQ(Ask("read")[QStringLiteral("tooltip")].toString(), QStringLiteral("Tesk网监视"));

    // Where no window can be closed, the desktop hears it once per run.
    InstallWindowReachNotice(*form, true);
    EXPECT_EQ(form->Check2->toolTip(), kWindowsOutOfReachText);
    form->Command1->click();  // 监视下载 unticked: nothing said
    form->Check2->setChecked(true);
    form->Command1->click();
    form->Command1->click();
    EXPECT_TRUE(WaitFor([&] { return !Ask("notifications").toArray().isEmpty(); }));
    QTest::qWait(200);
    const QJsonArray notes = Ask("notifications").toArray();
    ASSERT_EQ(notes.size(), 1);
    EXPECT_EQ(notes[0].toArray()[1].toString(), kWindowsOutOfReachText);
}

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
