// The monitor cycle against fakes: when scans run, how the host list is filtered
// and counted, the router row and its change notice, stopping at each check
// point, the re-entry guard and the wait across a wrap of the millisecond counter.
#include <QSignalSpy>

#include "core/MonitorCycle.h"
#include "tests/monitor/MonitorFixture.h"

namespace rm::test {
namespace {

const QString kCountOf1 = QStringLiteral("注意！有1台计算机在网络");
const QString kCountOf2 = QStringLiteral("注意！有2台计算机在网络");
const QString kCountOf0 = QStringLiteral("注意！有0台计算机在网络");

class MonitorCycleTest : public MonitorFixture {
  protected:
    // Ticks of Timer1 delivered by hand; returns how many scans they started.
    size_t Ticks(int n) {
        const size_t before = scanner.calls.size();
        for (int i = 0; i < n; ++i) MonitorTick(*form);
        return scanner.calls.size() - before;
    }
    void SomebodyPresent() { scanner.sweeps = {{Line(30, "00-11-22-33-44-55")}}; }
};

// --- When scans run ---

TEST_F(MonitorCycleTest, StartScansOnFirstTickThenOnTheTwentyFirst) {
    SomebodyPresent();
    form->Text8->setText(QStringLiteral("20"));
    form->Command1Click();
    EXPECT_EQ(form->Timer1->interval(), 100);
    EXPECT_TRUE(form->Timer1->isActive());

    EXPECT_EQ(Ticks(1), 1u);
    EXPECT_EQ(form->kiki, 0);
    EXPECT_EQ(form->Timer1->interval(), 1000);

    EXPECT_EQ(Ticks(20), 0u);  // ticks 1..20 only count
    EXPECT_EQ(form->kiki, 20);
    EXPECT_EQ(Ticks(1), 1u);
}

TEST_F(MonitorCycleTest, PeriodsReadingZeroScanOnEveryTick) {
    SomebodyPresent();
    for (const char* period : {"0", "", "abc"}) {
        SCOPED_TRACE(period);
        form->Text8->setText(QString::fromUtf8(period));
        form->Command1Click();
        EXPECT_EQ(Ticks(3), 3u);
    }
}

TEST_F(MonitorCycleTest, PeriodThatIsNeverReachedNeverScans) {
    SomebodyPresent();
    form->Text8->setText(QStringLiteral("2.5"));
    form->Command1Click();  // the counter starts at 2, then 3, 4, ...
    EXPECT_EQ(form->kiki, 2);
    EXPECT_EQ(Ticks(10), 0u);
    EXPECT_EQ(form->kiki, 12);

    // Lowering the period below the counter during monitoring has the same effect.
    form->Text8->setText(QStringLiteral("5"));
    EXPECT_EQ(Ticks(10), 0u);
}

TEST_F(MonitorCycleTest, TicksDuringTheScansWaitsAreIgnored) {
    SomebodyPresent();
    form->Text8->setText(QStringLiteral("0"));
    int nested = 0;
    clock.onDoEvents = [&] {
        // Timer1 falls due while the scan waits (a few times: bounded even unguarded).
        if (++nested <= 5) MonitorTick(*form);
    };
    form->Command1Click();
    EXPECT_EQ(Ticks(1), 1u);
    EXPECT_GT(nested, 0);
    EXPECT_EQ(form->kiki, 0);
    EXPECT_FALSE(form->tickRunning);
    clock.onDoEvents = nullptr;
    EXPECT_EQ(Ticks(1), 1u);  // and the guard is released afterwards
}

// --- Sweeps, filters and the count ---

TEST_F(MonitorCycleTest, FiltersRemoveEveryDeviceThatIsNotAnotherComputer) {
    form->Text9[0]->setText(QStringLiteral("00-de-ad-be-ef-01"));  // lower case: no match
    form->Text9[3]->setText(QStringLiteral("9B-A5"));              // a fragment
    form->Text9[9]->setText(QStringLiteral("00-0C-0C-0C-0C-0C"));
    scanner.sweeps = {{
        Line(2, "00-00-00-00-00-00"),
        Line(3, "00-00-00-00-00-00 and 00-11-22-33-44-55"),  // no answer wins
        Line(20, kOwnMac),
        QStringLiteral("twin ") + kOwnMac,
        Line(1, kRouterMac),
        QStringLiteral("router again ") + kRouterMac,
        Line(40, "00-0B-6B-9A-63-5E"),
        Line(41, "00-03-C9-7F-9B-A5"),
        Line(42, "00-16-01-2D-2D-3E"),
        Line(43, "00-E0-4C-03-E2-4C"),
        Line(44, "00-60-B3-53-67-7D"),
        Line(45, "00-77-77-77-9B-A5"),
        Line(46, "00-0C-0C-0C-0C-0C"),
        Line(50, "00-DE-AD-BE-EF-01"),
        Line(51, "00-11-22-33-44-55"),
    }};
    form->Text8->setText(QStringLiteral("0"));
    form->Command1Click();
    Ticks(1);
    EXPECT_EQ(Entries(),
              (QStringList{Line(50, "00-DE-AD-BE-EF-01"), Line(51, "00-11-22-33-44-55")}));
    EXPECT_EQ(form->Label11->text(), kCountOf2);
    EXPECT_EQ(scanner.calls.size(), 1u);  // somebody found: no further sweep
    EXPECT_FALSE(form->List1->isHidden());
}

TEST_F(MonitorCycleTest, RemoveEntriesContainingKeepsTheOrderOfTheRest) {
    QListWidget list;
    list.addItems({"a-X", "b", "X-c", "d", "X"});
    RemoveEntriesContaining(&list, QStringLiteral("X"));
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.item(0)->text(), "b");
    EXPECT_EQ(list.item(1)->text(), "d");
    RemoveEntriesContaining(&list, QStringLiteral("B"));  // case-sensitive
    EXPECT_EQ(list.count(), 2);
}

TEST_F(MonitorCycleTest, NobodyFoundRunsTenSweepsOfOneAndAHalfSeconds) {
    scanner.sweeps = {{Line(2, "00-00-00-00-00-00"), Line(1, kRouterMac)}};
    form->Text8->setText(QStringLiteral("0"));
    form->Command1Click();
    Ticks(1);
    EXPECT_EQ(scanner.calls.size(), 10u);
    EXPECT_EQ(form->Label11->text(), kCountOf0);
    EXPECT_GE(clock.slept, 10u * 1500u);
    EXPECT_LT(clock.slept, 10u * 1600u + 100u);
    EXPECT_EQ(form->Label15->text(), QStringLiteral("安全"));
}

TEST_F(MonitorCycleTest, LaterSweepThatFindsSomebodyEndsTheSweeps) {
    scanner.sweeps = {{}, {}, {Line(30, "00-11-22-33-44-55"), Line(31, "00-11-22-33-44-66")}};
    form->Text8->setText(QStringLiteral("0"));
    form->Command1Click();
    Ticks(1);
    EXPECT_EQ(scanner.calls.size(), 3u);
    EXPECT_EQ(form->Label11->text(), kCountOf2);
    EXPECT_EQ(form->Label15->text(), QStringLiteral("危险"));
}

TEST_F(MonitorCycleTest, EmptyOwnMacTextRemovesEveryEntry) {
    SomebodyPresent();
    clock.onDoEvents = [&] { form->Text4->clear(); };  // the user empties the box meanwhile
    form->Text8->setText(QStringLiteral("0"));
    form->Command1Click();
    Ticks(1);
    EXPECT_EQ(scanner.calls.size(), 10u);
    EXPECT_EQ(form->Label11->text(), kCountOf0);
}

TEST_F(MonitorCycleTest, ScannerGetsTheSelectedNetworkAndClampedBounds) {
    SomebodyPresent();
    form->Text8->setText(QStringLiteral("0"));
    form->Command1Click();
    struct Case {
        const char *first, *last;
        int32_t wantFirst, wantLast;
    } cases[] = {
        {"1", "255", 1, 255}, {"-5", "300", 0, 255}, {"2.5", "3.5", 2, 4}, {"x", "9e9", 0, 255}};
    for (const Case& c : cases) {
        form->Text10->setText(QString::fromUtf8(c.first));
        form->Text11->setText(QString::fromUtf8(c.last));
        Ticks(1);
        ASSERT_FALSE(scanner.calls.empty());
        EXPECT_EQ(scanner.calls.back().prefix, QByteArray("192.168.1."));
        EXPECT_EQ(scanner.calls.back().first, c.wantFirst) << c.first;
        EXPECT_EQ(scanner.calls.back().last, c.wantLast) << c.last;
    }

    // A first bound above the last probes nothing, and nobody is found.
    scanner.calls.clear();
    form->Text10->setText(QStringLiteral("200"));
    form->Text11->setText(QStringLiteral("100"));
    Ticks(1);
    EXPECT_TRUE(scanner.calls.empty());
    EXPECT_EQ(form->Label11->text(), kCountOf0);
}

// --- This machine and the router ---

TEST_F(MonitorCycleTest, PreparationFillsOwnRowAndRouterRow) {
    SomebodyPresent();
    sockets.names[inet_addr("192.168.1.20")] = "desk-pc";
    form->Text1->clear();
    form->Text8->setText(QStringLiteral("0"));
    form->Command1Click();
    Ticks(1);
    EXPECT_EQ(form->Text5->text(), QStringLiteral("192.168.1.20"));
    EXPECT_EQ(form->Text4->text(), kOwnMac);
    EXPECT_EQ(form->Text6->text(), QStringLiteral("desk-pc"));
    EXPECT_EQ(form->Text1->text(), kRouterMac);
    EXPECT_EQ(form->Text2->text(), QStringLiteral("192.168.1.1"));
    EXPECT_EQ(form->Text3->text(), QStringLiteral("路由器"));
    EXPECT_EQ(form->Label14->text(), QStringLiteral("监视中"));
    EXPECT_TRUE(form->Command1->isHidden());
    EXPECT_FALSE(form->Check2->isEnabled());
}

TEST_F(MonitorCycleTest, RouterChangeIsShownOnceAndStored) {
    SomebodyPresent();
    SetRouter({0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x02});
    QStringList duringFirstWait;
    clock.onDoEvents = [&] {
        if (duringFirstWait.isEmpty())
            duringFirstWait << form->Label11->text() << form->Label15->text();
    };
    form->Text8->setText(QStringLiteral("0"));
    form->Command1Click();

    Ticks(1);
    EXPECT_EQ(duringFirstWait,
              (QStringList{QStringLiteral("检测到AP已更换，扫描新AP"), QStringLiteral("未知")}));
    EXPECT_EQ(form->Text1->text(), kOtherRouterMac);
    EXPECT_EQ(form->Label11->text(), kCountOf1);  // the count overwrites the notice
    ASSERT_GE(tray.calls.size(), 2u);
    EXPECT_EQ(tray.calls[0].action, TrayHost::kDelete);
    EXPECT_EQ(tray.calls[1].icon, IconId::Window);

    duringFirstWait.clear();
    Ticks(1);
    EXPECT_EQ(duringFirstWait.value(0), kCountOf1);
}

TEST_F(MonitorCycleTest, SilentRouterKeepsItsRowAndIsReportedEveryScan) {
    arp.Remove("192.168.1.1");
    form->Text2->setText(QStringLiteral("192.168.1.1"));
    int notices = 0;  // the notice newly seen in a wait
    QString seen;
    clock.onDoEvents = [&] {
        const QString now = form->Label11->text();
        if (now != seen && now == QStringLiteral("检测到AP已更换，扫描新AP")) ++notices;
        seen = now;
    };
    form->Text8->setText(QStringLiteral("0"));
    form->Command1Click();
    Ticks(2);
    EXPECT_EQ(notices, 2);  // one per scan, at the first wait
    EXPECT_EQ(form->Text1->text(), kRouterMac);
    EXPECT_EQ(form->Label15->text(), QStringLiteral("未知"));  // the free verdict is refused
    EXPECT_EQ(form->Label11->text(), QStringLiteral("检测到AP已更换，扫描新AP"));
}

TEST_F(MonitorCycleTest, NoLocalNetworkProbesNothingAndMonitoringGoesOn) {
    addresses.SetAddresses({});
    localAddress.ip.clear();
    scanner.sweeps = {{Line(30, "00-11-22-33-44-55")}};
    form->List1->addItem(QStringLiteral("stale entry"));
    form->Text8->setText(QStringLiteral("0"));
    form->Command1Click();
    Ticks(1);
    EXPECT_TRUE(arp.requests.empty());
    EXPECT_TRUE(scanner.calls.empty());
    EXPECT_EQ(form->Label15->text(), QStringLiteral("未知"));
    EXPECT_EQ(form->Label11->text(), QStringLiteral("未找到本机网络"));
    EXPECT_EQ(form->List1->count(), 0);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->Timer1->interval(), 1000);

    addresses.SetAddresses({"192.168.1.20"});  // the network comes up
    localAddress.ip = QStringLiteral("192.168.1.20");
    Ticks(1);
    EXPECT_EQ(scanner.calls.size(), 1u);
    EXPECT_EQ(form->Label11->text(), QStringLiteral("注意！有1台计算机在网络"));
}

TEST_F(MonitorCycleTest, ScanWithoutNetworkShowsTheOwnRowAsUnanswered) {
    SomebodyPresent();
    sockets.names[inet_addr("192.168.1.20")] = "desk-pc";
    form->Text8->setText(QStringLiteral("0"));
    form->Command1Click();
    Ticks(1);
    ASSERT_EQ(form->Text5->text(), QStringLiteral("192.168.1.20"));
    ASSERT_EQ(form->Text6->text(), QStringLiteral("desk-pc"));

    // The network goes; the socket layer may still know an address or not.
    addresses.SetAddresses({});
    for (const QString& own : {QStringLiteral("169.254.7.7"), QString()}) {
        SCOPED_TRACE(own.toStdString());
        localAddress.ip = own;
        arp.requests.clear();
        const int lookups = sockets.lookups, startups = sockets.startups;
        Ticks(1);
        EXPECT_EQ(form->Text5->text(), own);
        EXPECT_EQ(form->Text4->text(), QStringLiteral("False"));
        EXPECT_EQ(form->Text6->text(), QString());
        EXPECT_TRUE(arp.requests.empty());  // still nothing probed or looked up
        EXPECT_EQ(sockets.lookups, lookups);
        EXPECT_EQ(sockets.startups, startups);
        EXPECT_EQ(form->Label11->text(), QStringLiteral("未找到本机网络"));
    }

    addresses.SetAddresses({"192.168.1.20"});  // back again: the row is refilled
    localAddress.ip = QStringLiteral("192.168.1.20");
    Ticks(1);
    EXPECT_EQ(form->Text5->text(), QStringLiteral("192.168.1.20"));
    EXPECT_EQ(form->Text4->text(), kOwnMac);
    EXPECT_EQ(form->Text6->text(), QStringLiteral("desk-pc"));
}

// --- Stopping ---

void ExpectStopped(const Form1& f, const FakeTrayHost& tray) {
    EXPECT_FALSE(f.Command1->isHidden());
    EXPECT_EQ(f.Label14->text(), QStringLiteral("停止中"));
    EXPECT_EQ(f.Label15->text(), QStringLiteral("未知"));
    EXPECT_TRUE(f.Check2->isEnabled());
    EXPECT_EQ(f.Label11->text(), QStringLiteral("不知道有没有计算机在网络"));
    EXPECT_EQ(f.stopjiankong, 0);
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_FALSE(f.Timer2->isActive());
    EXPECT_EQ(tray.Shown(), IconId::Window);
}

TEST_F(MonitorCycleTest, StopDuringAWaitEndsTheScanAtTheNextSweep) {
    form->Text8->setText(QStringLiteral("0"));
    form->Check3->setCheckState(Qt::Unchecked);
    form->Command1Click();
    clock.onDoEvents = [&] { form->Command2Click(); };
    Ticks(1);
    EXPECT_EQ(scanner.calls.size(), 1u);
    ExpectStopped(*form, tray);
    EXPECT_TRUE(form->List1->isHidden());
    EXPECT_TRUE(sound.played.isEmpty());  // the reactions were skipped
}

TEST_F(MonitorCycleTest, StopDuringTheFindingSweepComesAfterTheReactions) {
    SomebodyPresent();
    form->Check1->setCheckState(Qt::Unchecked);
    form->Check4->setCheckState(Qt::Checked);
    form->Text8->setText(QStringLiteral("0"));
    form->Command1Click();
    clock.onDoEvents = [&] { form->Command2Click(); };
    Ticks(1);
    EXPECT_EQ(sound.played, QStringList{folder.path + QStringLiteral("/警告.wav")});
    ExpectStopped(*form, tray);
    EXPECT_FALSE(form->List1->isHidden());
}

TEST_F(MonitorCycleTest, StopOnAnIdleTick) {
    SomebodyPresent();
    form->Text8->setText(QStringLiteral("20"));
    form->Command1Click();
    Ticks(3);
    form->Command2Click();
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(Ticks(1), 0u);
    ExpectStopped(*form, tray);
}

TEST_F(MonitorCycleTest, StopRequestedWhileIdleStopsTheNextRunBeforeItsFirstSweep) {
    SomebodyPresent();
    form->Command2Click();
    form->Command1Click();
    EXPECT_EQ(Ticks(1), 0u);
    ExpectStopped(*form, tray);
}

// --- The wait ---

TEST_F(MonitorCycleTest, TimedWaitLetsEventsRunAndEndsAcrossACounterWrap) {
    for (uint32_t start : {0u, 0xFFFFFF00u, 0xFFFFFFFFu}) {
        clock.now = start;
        clock.slept = 0;
        clock.doEvents = 0;
        TimedWait(*form, 1500);
        EXPECT_GE(clock.slept, 1500u) << start;
        EXPECT_LE(clock.slept, 1600u) << start;
        EXPECT_EQ(clock.doEvents, 15) << start;
    }
    clock.doEvents = 0;
    TimedWait(*form, 0);
    EXPECT_EQ(clock.doEvents, 0);
}

}  // namespace
}  // namespace rm::test
