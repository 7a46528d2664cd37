// The tray icon offscreen with the real window: hide-to-tray, the double-click
// that brings the window back, the flash timer, the click translation of the Qt
// tray and its Shell_NotifyIcon bookkeeping.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "core/Tray.h"
#include "desktop/Eventually.h"
#include "gui/qt/QtTrayHost.h"
#include "tests/app/WindowFixture.h"

namespace rm {
namespace {

// The fake tray stands for a desktop that has one.
class TrayTest : public WindowFixture {
  protected:
    TrayTest() {
        form->trayAvailable = [] { return true; };
    }
};

TEST_F(TrayTest, HideToTrayKeepsAnAlarmShowing) {
    AddTrayIcon(*monitor, IconId::Window);
    ReplaceTrayIcon(*monitor, IconId::Picture2);
    form->show();
    QTest::mouseClick(form->Command4, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(tray.Shown(), IconId::Picture2);
    EXPECT_FALSE(tray.calls.back().ok);
    EXPECT_EQ(tray.calls.back().action, TrayHost::kAdd);
}

TEST_F(TrayTest, HideToTrayAddsTheIconWhenItIsMissing) {
    QSignalSpy closing(form, &Form1::closing);
    form->show();
    form->Command4->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(tray.Shown(), IconId::Window);
    EXPECT_EQ(closing.count(), 0);  // hidden to the tray, not closed
}

TEST_F(TrayTest, OnlyALeftDoubleClickShowsTheWindow) {
    AddTrayIcon(*monitor, IconId::Window);
    form->show();
    monitor->Command4Click();
    for (int message : {512, 513, 514, 516, 517, 518, 519, 520}) {
        tray.Mouse(message);
        EXPECT_FALSE(form->isVisible()) << message;
    }
    // x is divided by 15 and rounded halves to even: 515.5 reads as 516.
    monitor->OnTrayCallback(0, 0, 515.5f * 15, 0);
    EXPECT_FALSE(form->isVisible());
    monitor->OnTrayCallback(0, 0, 515.4f * 15, 0);
    EXPECT_TRUE(form->isVisible());

    form->Command7Click();
    monitor->Command4Click();
    tray.Mouse(515);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->Frame2->isVisible());  // comes back as it was left
    tray.Mouse(515);                         // already visible: stays so
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(tray.Shown(), IconId::Window);
}

TEST_F(TrayTest, UntickingCheck4MidFlashDoesNotStopTheFlashing) {
    // Only the next verdict decides about flashing; the box is read there.
    AddTrayIcon(*monitor, IconId::Window);
    form->Check4->setChecked(true);
    form->Timer2->setInterval(5);
    form->Timer2->start();
    ASSERT_EVENTUALLY_TRUE(tray.calls.size() >= 5u, 2000);  // flashing: two ticks at least

    form->Check4->setChecked(false);
    const size_t atUntick = tray.calls.size();
    const bool flashedOn = QTest::qWaitFor([&] { return tray.calls.size() >= atUntick + 4; }, 2000);
    const bool stillRunning = form->Timer2->isActive();
    form->Timer2->stop();
    EXPECT_TRUE(flashedOn) << "ticks after the untick: " << (tray.calls.size() - atUntick) / 2;
    EXPECT_TRUE(stillRunning);
    EXPECT_NE(tray.Shown(), IconId::Window);  // a red icon, never reset to the window icon
}

TEST(TrayClickTranslator, XEmbedDoubleClickGivesOneDoubleClickMessage) {
    TrayClickTranslator t;
    std::vector<int> all;
    for (auto [reason, at] :
         {std::pair{QSystemTrayIcon::Trigger, 0}, std::pair{QSystemTrayIcon::DoubleClick, 120},
          std::pair{QSystemTrayIcon::Trigger, 250}}) {
        auto m = t.Translate(reason, at, 400);
        all.insert(all.end(), m.begin(), m.end());
    }
    EXPECT_EQ(std::count(all.begin(), all.end(), int(kLeftDoubleClick)), 1);
    EXPECT_EQ(all.front(), int(kLeftDown));
}

TEST(TrayClickTranslator, TwoQuickTriggersStandForTheMissingDoubleClick) {
    TrayClickTranslator t;
    EXPECT_EQ(t.Translate(QSystemTrayIcon::Trigger, 1000, 400),
              (std::vector<int>{kLeftDown, kLeftUp}));
    EXPECT_EQ(t.Translate(QSystemTrayIcon::Trigger, 1300, 400).front(), int(kLeftDoubleClick));
    // A third click starts a new pair; slow clicks never pair.
    EXPECT_EQ(t.Translate(QSystemTrayIcon::Trigger, 1400, 400).front(), int(kLeftDown));
    EXPECT_EQ(t.Translate(QSystemTrayIcon::Trigger, 1900, 400).front(), int(kLeftDown));
}

TEST(TrayClickTranslator, RightAndMiddleClicksAreNotDoubleClicks) {
    TrayClickTranslator t;
    for (auto reason : {QSystemTrayIcon::Context, QSystemTrayIcon::Context,
                        QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown}) {
        for (int m : t.Translate(reason, 10, 400)) EXPECT_NE(m, int(kLeftDoubleClick));
    }
}

TEST(QtTrayHost, BehavesAsTheNotificationAreaCall) {
    QtTrayHost host;
    TrayRecord r;
    r.hWnd = 42;
    r.uID = 1;
    r.hIcon = IconId::Window;
    r.szTip = "Tesk网监视";
    EXPECT_FALSE(host.ShellNotifyIcon(TrayHost::kDelete, r));
    EXPECT_TRUE(host.ShellNotifyIcon(TrayHost::kAdd, r));
    EXPECT_FALSE(host.ShellNotifyIcon(TrayHost::kAdd, r));
    EXPECT_TRUE(host.Has(42, 1));
    TrayRecord other = r;
    other.uID = 2;
    EXPECT_TRUE(host.ShellNotifyIcon(TrayHost::kAdd, other));  // a second icon of its own
    EXPECT_TRUE(host.ShellNotifyIcon(TrayHost::kDelete, other));
    EXPECT_FALSE(host.Has(42, 2));
    EXPECT_TRUE(host.ShellNotifyIcon(TrayHost::kDelete, r));
    EXPECT_FALSE(host.Has(42, 1));
    EXPECT_FALSE(host.ShellNotifyIcon(TrayHost::kDelete, r));
    r.hIcon = IconId::Picture1;
    EXPECT_TRUE(host.ShellNotifyIcon(TrayHost::kAdd, r));
    QTest::qWait(20);  // the deferred take-down of the deleted icon must not take this one
    EXPECT_TRUE(host.Has(42, 1));
    EXPECT_TRUE(host.ShellNotifyIcon(TrayHost::kDelete, r));
    QTest::qWait(20);
    EXPECT_FALSE(host.Has(42, 1));
    EXPECT_FALSE(host.ShellNotifyIcon(TrayHost::kModify, r));
}

}  // namespace
}  // namespace rm
