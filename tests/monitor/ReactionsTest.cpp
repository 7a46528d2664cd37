// The verdict's reactions against fakes: sounds and their muting boxes, the tray
// alarm and flashing, the verdict label, the router re-check, and every row of
// the download manager's table.
#include <QtTest/QTest>

#include "core/Reactions.h"
#include "core/LocalAddressTable.h"
#include "tests/monitor/MonitorFixture.h"

namespace rm::test {
namespace {

class ReactionsTest : public MonitorFixture {
  protected:
    QString Warning() const { return folder.path + QStringLiteral("/警告.wav"); }
    QString AllClear() const { return folder.path + QStringLiteral("/安全.wav"); }
    std::vector<WindowSystem::WindowId> Only7() const { return {7}; }
};

// --- Sounds, icon and label ---

TEST_F(ReactionsTest, OthersFoundWarnsAndShowsTheSteadyAlarm) {
    form->Check1->setCheckState(Qt::Unchecked);
    ReactToOthersFound(*form);
    EXPECT_EQ(sound.played, QStringList{Warning()});
    EXPECT_EQ(form->Label15->text(), QStringLiteral("危险"));
    EXPECT_EQ(form->Label15->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_FALSE(form->Timer2->isActive());
    EXPECT_EQ(form->Timer2->interval(), 1000);
    EXPECT_EQ(tray.Shown(), IconId::Picture2);
}

TEST_F(ReactionsTest, NetworkFreeGivesTheAllClear) {
    form->Check3->setCheckState(Qt::Unchecked);
    ReactToNetworkFree(*form);
    EXPECT_EQ(sound.played, QStringList{AllClear()});
    EXPECT_EQ(form->Label15->text(), QStringLiteral("安全"));
    EXPECT_EQ(form->Label15->palette().color(QPalette::WindowText), QColor(0, 255, 0));
    EXPECT_EQ(tray.Shown(), IconId::Window);
}

TEST_F(ReactionsTest, TickedOrGreyedMutingBoxesSilenceButKeepTheVerdict) {
    for (Qt::CheckState state : {Qt::Checked, Qt::PartiallyChecked}) {
        form->Check1->setCheckState(state);
        form->Check3->setCheckState(state);
        ReactToOthersFound(*form);
        EXPECT_EQ(form->Label15->text(), QStringLiteral("危险"));
        EXPECT_EQ(tray.Shown(), IconId::Picture2);
        ReactToNetworkFree(*form);
        EXPECT_EQ(form->Label15->text(), QStringLiteral("安全"));
    }
    EXPECT_TRUE(sound.played.isEmpty());
}

TEST_F(ReactionsTest, FlashingRunsUntilAFreeVerdict) {
    form->Check4->setCheckState(Qt::Checked);
    ReactToOthersFound(*form);
    EXPECT_TRUE(form->Timer2->isActive());
    EXPECT_TRUE(tray.calls.empty());  // the first flash tick changes the icon

    ReactToNetworkFree(*form);
    EXPECT_FALSE(form->Timer2->isActive());
    EXPECT_EQ(tray.Shown(), IconId::Window);
}

TEST_F(ReactionsTest, EveryAlarmRestartsTheFlashRhythm) {
    form->Check4->setCheckState(Qt::Checked);
    ReactToOthersFound(*form);
    QTest::qWait(600);
    ReactToOthersFound(*form);
    EXPECT_TRUE(form->Timer2->isActive());
    EXPECT_EQ(form->Timer2->interval(), 1000);
    EXPECT_GT(form->Timer2->remainingTime(), 700);
}

TEST_F(ReactionsTest, GreyedFlashBoxGivesTheSteadyAlarm) {
    form->Check4->setCheckState(Qt::PartiallyChecked);
    form->Timer2->start(1000);  // an earlier alarm was flashing
    ReactToOthersFound(*form);
    EXPECT_FALSE(form->Timer2->isActive());
    EXPECT_EQ(tray.Shown(), IconId::Picture2);
}

TEST_F(ReactionsTest, RouterChangedOrSilentRefusesTheFreeVerdict) {
    ControlDownloadManager();
    form->Check3->setCheckState(Qt::Unchecked);
    form->Check4->setCheckState(Qt::Checked);
    ReactToOthersFound(*form);  // flashing, qidong 0
    form->Label11->setText(QStringLiteral("注意！有0台计算机在网络"));

    SetRouter({0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x02});
    ReactToNetworkFree(*form);
    arp.Remove("192.168.1.1");
    ReactToNetworkFree(*form);

    EXPECT_EQ(form->Label15->text(), QStringLiteral("未知"));
    EXPECT_EQ(form->Label15->palette().color(QPalette::WindowText), ButtonTextColour());
    EXPECT_EQ(form->Label11->text(), QStringLiteral("检测到AP已更换，扫描新AP"));
    EXPECT_EQ(form->Text1->text(), kRouterMac);  // the next scan stores the new one
    EXPECT_TRUE(sound.played.isEmpty());
    EXPECT_TRUE(launcher.started.isEmpty());
    EXPECT_TRUE(form->Timer2->isActive());
    EXPECT_EQ(form->qidong, 0);
}

// --- The download manager ---

TEST_F(ReactionsTest, DownloadManagerTable) {
    ControlDownloadManager();
    uint32_t startedAt = 0;
    launcher.onStart = [&](const QString&) { startedAt = clock.now; };

    // qidong 0, free: start, wait 2 s, minimise by title.
    ReactToNetworkFree(*form);
    EXPECT_EQ(launcher.started, QStringList{QStringLiteral("/opt/thunder/Thunder 5")});
    EXPECT_EQ(windows.minimized, Only7());
    EXPECT_GE(clock.now - startedAt, 2000u);
    EXPECT_EQ(form->qidong, 1);

    // qidong 1, free: nothing.
    ReactToNetworkFree(*form);
    EXPECT_EQ(launcher.started.size(), 1);
    EXPECT_EQ(windows.minimized.size(), 1u);
    EXPECT_EQ(form->qidong, 1);

    // qidong 1, others: close.
    ReactToOthersFound(*form);
    EXPECT_EQ(windows.closed, Only7());
    EXPECT_EQ(form->qidong, 0);

    // qidong 0, others: close again (whoever started it).
    ReactToOthersFound(*form);
    EXPECT_EQ(windows.closed.size(), 2u);
    EXPECT_EQ(form->qidong, 0);

    // Then the next free verdict starts it again.
    ReactToNetworkFree(*form);
    EXPECT_EQ(launcher.started.size(), 2);
    EXPECT_EQ(form->qidong, 1);
}

TEST_F(ReactionsTest, DownloadManagerLeftAloneWithoutPathOrTick) {
    ControlDownloadManager();
    form->Text15->clear();
    ReactToOthersFound(*form);
    ReactToNetworkFree(*form);

    form->Text15->setText(QStringLiteral("/opt/thunder/Thunder 5"));
    for (Qt::CheckState state : {Qt::Unchecked, Qt::PartiallyChecked}) {
        form->Check2->setCheckState(state);
        ReactToOthersFound(*form);
        ReactToNetworkFree(*form);
    }
    EXPECT_TRUE(windows.closed.empty());
    EXPECT_TRUE(windows.minimized.empty());
    EXPECT_TRUE(launcher.started.isEmpty());
    EXPECT_EQ(form->qidong, 0);
}

TEST_F(ReactionsTest, FailedStartKeepsTheOrderAndIsReportedOnTheStatusLineOnly) {
    ControlDownloadManager();
    launcher.succeed = false;
    const uint32_t before = clock.now;
    ReactToNetworkFree(*form);
    EXPECT_EQ(form->Label11->text(), QStringLiteral("无法启动下载程序"));
    EXPECT_EQ(form->Label15->text(), QStringLiteral("安全"));
    EXPECT_EQ(form->qidong, 1);
    // The wait and the minimise follow the start whatever it gave.
    EXPECT_GE(clock.now - before, 2000u);
    EXPECT_EQ(windows.minimized, Only7());
    EXPECT_TRUE(messages.shown.empty());

    ReactToNetworkFree(*form);  // no retry until others are found
    EXPECT_EQ(launcher.started.size(), 1);
    EXPECT_EQ(windows.minimized.size(), 1u);
}

TEST_F(ReactionsTest, RouterChangedWhileStartedLeavesTheDownloadManagerAlone) {
    ControlDownloadManager();
    ReactToNetworkFree(*form);  // started: qidong 1
    ASSERT_EQ(form->qidong, 1);
    const QStringList started = launcher.started;
    const auto minimized = windows.minimized;

    SetRouter({0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x02});
    ReactToNetworkFree(*form);

    EXPECT_EQ(form->Label11->text(), QStringLiteral("检测到AP已更换，扫描新AP"));
    EXPECT_EQ(launcher.started, started);
    EXPECT_EQ(windows.minimized, minimized);
    EXPECT_TRUE(windows.closed.empty());
    EXPECT_EQ(form->qidong, 1);
}

TEST_F(ReactionsTest, NetworkFreeRefillsTheNetworkListAndTakesItsFirstEntry) {
    addresses.SetAddresses({"192.168.1.20", "10.0.0.9"});
    ListLocalPrefixes(addresses, form->Combo1);
    form->Combo1->setCurrentIndex(1);  // the user picked the other network
    ASSERT_EQ(form->Combo1->currentText(), QStringLiteral("10.0.0."));
    arp.requests.clear();

    ReactToNetworkFree(*form);

    EXPECT_EQ(form->Combo1->count(), 2);
    EXPECT_EQ(form->Combo1->currentIndex(), 0);
    EXPECT_EQ(form->Combo1->currentText(), QStringLiteral("192.168.1."));
    // The router re-check asks entry 0's router, which answers as before.
    EXPECT_EQ(arp.requests, std::vector<uint32_t>{inet_addr("192.168.1.1")});
    EXPECT_EQ(form->Label15->text(), QStringLiteral("安全"));
}

TEST_F(ReactionsTest, StopDuringTheStartWaitIsLeftToTheCycle) {
    ControlDownloadManager();
    clock.onDoEvents = [&] { form->Command2Click(); };
    ReactToNetworkFree(*form);
    EXPECT_EQ(form->stopjiankong, 1);
    EXPECT_EQ(windows.minimized, Only7());  // the reaction finishes first
}

}  // namespace
}  // namespace rm::test
