// The monitor cycle against fakes: when scans run, how the host list is filtered
// and counted, the router row and its change notice, stopping at each check
// point, the re-entry guard and the wait across a wrap of the millisecond counter.
#include <arpa/inet.h>

#include "core/MonitorCycle.h"
#include "tests/monitor/MonitorFixture.h"

namespace rm::test {
namespace {

const std::string kCountOf1 = "注意！有1台计算机在网络";
const std::string kCountOf2 = "注意！有2台计算机在网络";
const std::string kCountOf0 = "注意！有0台计算机在网络";
const std::string kRouterChanged = "检测到AP已更换，扫描新AP";

class MonitorCycleTest : public MonitorFixture {
  protected:
    // Ticks of Timer1 delivered by hand; returns how many scans they started.
    size_t Ticks(int n) {
        const size_t before = scanner.calls.size();
        for (int i = 0; i < n; ++i) MonitorTick(*monitor);
        return scanner.calls.size() - before;
    }
    void SomebodyPresent() { scanner.sweeps = {{Line(30, "00-11-22-33-44-55")}}; }
};

// --- When scans run ---

TEST_F(MonitorCycleTest, StartScansOnFirstTickThenOnTheTwentyFirst) {
    SomebodyPresent();
    Set(Control::Text8, "20");
    monitor->Command1Click();
    EXPECT_EQ((*this)[Control::Timer1].interval, 100);
    EXPECT_TRUE((*this)[Control::Timer1].active);

    EXPECT_EQ(Ticks(1), 1u);
    EXPECT_EQ(state().kiki, 0);
    EXPECT_EQ((*this)[Control::Timer1].interval, 1000);

    EXPECT_EQ(Ticks(20), 0u);  // ticks 1..20 only count
    EXPECT_EQ(state().kiki, 20);
    EXPECT_EQ(Ticks(1), 1u);
}

TEST_F(MonitorCycleTest, PeriodsReadingZeroScanOnEveryTick) {
    SomebodyPresent();
    for (const char* period : {"0", "", "abc"}) {
        SCOPED_TRACE(period);
        Set(Control::Text8, period);
        monitor->Command1Click();
        EXPECT_EQ(Ticks(3), 3u);
    }
}

TEST_F(MonitorCycleTest, PeriodThatIsNeverReachedNeverScans) {
    SomebodyPresent();
    Set(Control::Text8, "2.5");
    monitor->Command1Click();  // the counter starts at 2, then 3, 4, ...
    EXPECT_EQ(state().kiki, 2);
    EXPECT_EQ(Ticks(10), 0u);
    EXPECT_EQ(state().kiki, 12);

    // Lowering the period below the counter during monitoring has the same effect.
    Set(Control::Text8, "5");
    EXPECT_EQ(Ticks(10), 0u);
}

TEST_F(MonitorCycleTest, TicksDuringTheScansWaitsAreIgnored) {
    SomebodyPresent();
    Set(Control::Text8, "0");
    int nested = 0;
    clock.onDoEvents = [&] {
        // Timer1 falls due while the scan waits (a few times: bounded even unguarded).
        if (++nested <= 5) MonitorTick(*monitor);
    };
    monitor->Command1Click();
    EXPECT_EQ(Ticks(1), 1u);
    EXPECT_GT(nested, 0);
    EXPECT_EQ(state().kiki, 0);
    EXPECT_FALSE(state().tickRunning);
    clock.onDoEvents = nullptr;
    EXPECT_EQ(Ticks(1), 1u);  // and the guard is released afterwards
}

// --- Sweeps, filters and the count ---

TEST_F(MonitorCycleTest, FiltersRemoveEveryDeviceThatIsNotAnotherComputer) {
    Set(Text9(0), "00-de-ad-be-ef-01");  // lower case: no match
    Set(Text9(3), "9B-A5");              // a fragment
    Set(Text9(9), "00-0C-0C-0C-0C-0C");
    scanner.sweeps = {{
        Line(2, "00-00-00-00-00-00"),
        Line(3, "00-00-00-00-00-00 and 00-11-22-33-44-55"),  // no answer wins
        Line(20, kOwnMac),
        "twin " + kOwnMac,
        Line(1, kRouterMac),
        "router again " + kRouterMac,
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
    Set(Control::Text8, "0");
    monitor->Command1Click();
    Ticks(1);
    EXPECT_EQ(Entries(), (std::vector<std::string>{Line(50, "00-DE-AD-BE-EF-01"),
                                                   Line(51, "00-11-22-33-44-55")}));
    EXPECT_EQ(TextOf(Control::Label11), kCountOf2);
    EXPECT_EQ(scanner.calls.size(), 1u);  // somebody found: no further sweep
    EXPECT_TRUE((*this)[Control::List1].visible);
}

TEST_F(MonitorCycleTest, RemoveEntriesContainingKeepsTheOrderOfTheRest) {
    for (const char* entry : {"a-X", "b", "X-c", "d", "X"}) form->AddItem(Control::List1, entry);
    RemoveEntriesContaining(*form, "X");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"b", "d"}));
    RemoveEntriesContaining(*form, "B");  // case-sensitive
    EXPECT_EQ(Entries().size(), 2u);
}

TEST_F(MonitorCycleTest, NobodyFoundRunsTenSweepsOfOneAndAHalfSeconds) {
    scanner.sweeps = {{Line(2, "00-00-00-00-00-00"), Line(1, kRouterMac)}};
    Set(Control::Text8, "0");
    monitor->Command1Click();
    Ticks(1);
    EXPECT_EQ(scanner.calls.size(), 10u);
    EXPECT_EQ(scanner.scansBegun, std::vector<size_t>{0});  // one scan of ten sweeps
    EXPECT_EQ(TextOf(Control::Label11), kCountOf0);
    EXPECT_GE(clock.slept, 10u * 1500u);
    EXPECT_LT(clock.slept, 10u * 1600u + 100u);
    EXPECT_EQ(TextOf(Control::Label15), "安全");
}

TEST_F(MonitorCycleTest, LaterSweepThatFindsSomebodyEndsTheSweeps) {
    scanner.sweeps = {{}, {}, {Line(30, "00-11-22-33-44-55"), Line(31, "00-11-22-33-44-66")}};
    Set(Control::Text8, "0");
    monitor->Command1Click();
    Ticks(1);
    EXPECT_EQ(scanner.calls.size(), 3u);
    EXPECT_EQ(TextOf(Control::Label11), kCountOf2);
    EXPECT_EQ(TextOf(Control::Label15), "危险");
}

TEST_F(MonitorCycleTest, EmptyOwnMacTextRemovesEveryEntry) {
    SomebodyPresent();
    clock.onDoEvents = [&] { Set(Control::Text4, ""); };  // the user empties the box meanwhile
    Set(Control::Text8, "0");
    monitor->Command1Click();
    Ticks(1);
    EXPECT_EQ(scanner.calls.size(), 10u);
    EXPECT_EQ(scanner.scansBegun, std::vector<size_t>{0});  // one scan of ten sweeps
    EXPECT_EQ(TextOf(Control::Label11), kCountOf0);
}

TEST_F(MonitorCycleTest, ScannerGetsTheSelectedNetworkAndClampedBounds) {
    SomebodyPresent();
    Set(Control::Text8, "0");
    monitor->Command1Click();
    struct Case {
        const char *first, *last;
        int32_t wantFirst, wantLast;
    } cases[] = {
        {"1", "255", 1, 255}, {"-5", "300", 0, 255}, {"2.5", "3.5", 2, 4}, {"x", "9e9", 0, 255}};
    for (const Case& c : cases) {
        Set(Control::Text10, c.first);
        Set(Control::Text11, c.last);
        Ticks(1);
        ASSERT_FALSE(scanner.calls.empty());
        EXPECT_EQ(scanner.calls.back().prefix, "192.168.1.");
        EXPECT_EQ(scanner.calls.back().first, c.wantFirst) << c.first;
        EXPECT_EQ(scanner.calls.back().last, c.wantLast) << c.last;
    }

    // A first bound above the last probes nothing, and nobody is found.
    scanner.calls.clear();
    Set(Control::Text10, "200");
    Set(Control::Text11, "100");
    Ticks(1);
    EXPECT_TRUE(scanner.calls.empty());
    EXPECT_EQ(TextOf(Control::Label11), kCountOf0);
}

// --- This machine and the router ---

TEST_F(MonitorCycleTest, PreparationFillsOwnRowAndRouterRow) {
    SomebodyPresent();
    sockets.names[inet_addr("192.168.1.20")] = "desk-pc";
    Set(Control::Text1, "");
    Set(Control::Text8, "0");
    monitor->Command1Click();
    Ticks(1);
    EXPECT_EQ(TextOf(Control::Text5), "192.168.1.20");
    EXPECT_EQ(TextOf(Control::Text4), kOwnMac);
    EXPECT_EQ(TextOf(Control::Text6), "desk-pc");
    EXPECT_EQ(TextOf(Control::Text1), kRouterMac);
    EXPECT_EQ(TextOf(Control::Text2), "192.168.1.1");
    EXPECT_EQ(TextOf(Control::Text3), "路由器");
    EXPECT_EQ(TextOf(Control::Label14), "监视中");
    EXPECT_FALSE((*this)[Control::Command1].visible);
    EXPECT_FALSE((*this)[Control::Check2].enabled);
}

TEST_F(MonitorCycleTest, RouterChangeIsShownOnceAndStored) {
    SomebodyPresent();
    SetRouter({0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x02});
    std::vector<std::string> duringFirstWait;
    clock.onDoEvents = [&] {
        if (duringFirstWait.empty())
            duringFirstWait = {TextOf(Control::Label11), TextOf(Control::Label15)};
    };
    Set(Control::Text8, "0");
    monitor->Command1Click();

    Ticks(1);
    EXPECT_EQ(duringFirstWait, (std::vector<std::string>{kRouterChanged, "未知"}));
    EXPECT_EQ(TextOf(Control::Text1), kOtherRouterMac);
    EXPECT_EQ(TextOf(Control::Label11), kCountOf1);  // the count overwrites the notice
    ASSERT_GE(tray.calls.size(), 2u);
    EXPECT_EQ(tray.calls[0].action, TrayHost::kDelete);
    EXPECT_EQ(tray.calls[1].icon, IconId::Window);

    duringFirstWait.clear();
    Ticks(1);
    ASSERT_FALSE(duringFirstWait.empty());
    EXPECT_EQ(duringFirstWait[0], kCountOf1);
}

TEST_F(MonitorCycleTest, SilentRouterKeepsItsRowAndIsReportedEveryScan) {
    arp.Remove("192.168.1.1");
    Set(Control::Text2, "192.168.1.1");
    int notices = 0;  // the notice newly seen in a wait
    std::string seen;
    clock.onDoEvents = [&] {
        const std::string now = TextOf(Control::Label11);
        if (now != seen && now == kRouterChanged) ++notices;
        seen = now;
    };
    Set(Control::Text8, "0");
    monitor->Command1Click();
    Ticks(2);
    EXPECT_EQ(notices, 2);  // one per scan, at the first wait
    EXPECT_EQ(TextOf(Control::Text1), kRouterMac);
    EXPECT_EQ(TextOf(Control::Label15), "未知");  // the free verdict is refused
    EXPECT_EQ(TextOf(Control::Label11), kRouterChanged);
}

TEST_F(MonitorCycleTest, NoLocalNetworkProbesNothingAndMonitoringGoesOn) {
    addresses.SetAddresses({});
    localAddress.ip.clear();
    scanner.sweeps = {{Line(30, "00-11-22-33-44-55")}};
    form->AddItem(Control::List1, "stale entry");
    Set(Control::Text8, "0");
    monitor->Command1Click();
    Ticks(1);
    EXPECT_TRUE(arp.requests.empty());
    EXPECT_TRUE(scanner.calls.empty());
    EXPECT_EQ(TextOf(Control::Label15), "未知");
    EXPECT_EQ(TextOf(Control::Label11), "未找到本机网络");
    EXPECT_TRUE(Entries().empty());
    EXPECT_TRUE((*this)[Control::Timer1].active);
    EXPECT_EQ((*this)[Control::Timer1].interval, 1000);

    addresses.SetAddresses({"192.168.1.20"});  // the network comes up
    localAddress.ip = "192.168.1.20";
    Ticks(1);
    EXPECT_EQ(scanner.calls.size(), 1u);
    EXPECT_EQ(TextOf(Control::Label11), kCountOf1);
}

TEST_F(MonitorCycleTest, ScanWithoutNetworkShowsTheOwnRowAsUnanswered) {
    SomebodyPresent();
    sockets.names[inet_addr("192.168.1.20")] = "desk-pc";
    Set(Control::Text8, "0");
    monitor->Command1Click();
    Ticks(1);
    ASSERT_EQ(TextOf(Control::Text5), "192.168.1.20");
    ASSERT_EQ(TextOf(Control::Text6), "desk-pc");

    // The network goes; the socket layer may still know an address or not.
    addresses.SetAddresses({});
    for (const std::string own : {"169.254.7.7", ""}) {
        SCOPED_TRACE(own);
        localAddress.ip = own;
        arp.requests.clear();
        const int lookups = sockets.lookups, startups = sockets.startups;
        Ticks(1);
        EXPECT_EQ(TextOf(Control::Text5), own);
        EXPECT_EQ(TextOf(Control::Text4), "False");
        EXPECT_EQ(TextOf(Control::Text6), "");
        EXPECT_TRUE(arp.requests.empty());  // still nothing probed or looked up
        EXPECT_EQ(sockets.lookups, lookups);
        EXPECT_EQ(sockets.startups, startups);
        EXPECT_EQ(TextOf(Control::Label11), "未找到本机网络");
    }

    addresses.SetAddresses({"192.168.1.20"});  // back again: the row is refilled
    localAddress.ip = "192.168.1.20";
    Ticks(1);
    EXPECT_EQ(TextOf(Control::Text5), "192.168.1.20");
    EXPECT_EQ(TextOf(Control::Text4), kOwnMac);
    EXPECT_EQ(TextOf(Control::Text6), "desk-pc");
}

// --- Stopping ---

void ExpectStopped(FakeForm1& f, const MonitorState& state, const FakeTrayHost& tray) {
    EXPECT_TRUE(f[Control::Command1].visible);
    EXPECT_EQ(f.Text(Control::Label14), "停止中");
    EXPECT_EQ(f.Text(Control::Label15), "未知");
    EXPECT_EQ(f[Control::Label15].colour, LabelColour::ButtonText);
    EXPECT_TRUE(f[Control::Check2].enabled);
    EXPECT_EQ(f.Text(Control::Label11), "不知道有没有计算机在网络");
    EXPECT_EQ(state.stopjiankong, 0);
    EXPECT_FALSE(f[Control::Timer1].active);
    EXPECT_FALSE(f[Control::Timer2].active);
    EXPECT_EQ(tray.Shown(), IconId::Window);
}

TEST_F(MonitorCycleTest, StopDuringAWaitEndsTheScanAtTheNextSweep) {
    Set(Control::Text8, "0");
    Tick(Control::Check3, CheckState::Unticked);
    monitor->Command1Click();
    clock.onDoEvents = [&] { monitor->Command2Click(); };
    Ticks(1);
    EXPECT_EQ(scanner.calls.size(), 1u);
    ExpectStopped(*form, state(), tray);
    EXPECT_FALSE((*this)[Control::List1].visible);
    EXPECT_TRUE(sound.played.empty());  // the reactions were skipped
}

TEST_F(MonitorCycleTest, StopDuringTheFindingSweepComesAfterTheReactions) {
    SomebodyPresent();
    Tick(Control::Check1, CheckState::Unticked);
    Tick(Control::Check4, CheckState::Ticked);
    Set(Control::Text8, "0");
    monitor->Command1Click();
    clock.onDoEvents = [&] { monitor->Command2Click(); };
    Ticks(1);
    EXPECT_EQ(sound.played, std::vector<std::string>{folder.path + "/警告.wav"});
    ExpectStopped(*form, state(), tray);
    EXPECT_TRUE((*this)[Control::List1].visible);
}

TEST_F(MonitorCycleTest, StopOnAnIdleTick) {
    SomebodyPresent();
    Set(Control::Text8, "20");
    monitor->Command1Click();
    Ticks(3);
    monitor->Command2Click();
    EXPECT_TRUE((*this)[Control::Timer1].active);
    EXPECT_EQ(Ticks(1), 0u);
    ExpectStopped(*form, state(), tray);
}

TEST_F(MonitorCycleTest, StopRequestedWhileIdleStopsTheNextRunBeforeItsFirstSweep) {
    SomebodyPresent();
    monitor->Command2Click();
    monitor->Command1Click();
    EXPECT_EQ(Ticks(1), 0u);
    ExpectStopped(*form, state(), tray);
}

// --- The wait ---

TEST_F(MonitorCycleTest, TimedWaitLetsEventsRunAndEndsAcrossACounterWrap) {
    for (uint32_t start : {0u, 0xFFFFFF00u, 0xFFFFFFFFu}) {
        clock.now = start;
        clock.slept = 0;
        clock.doEvents = 0;
        TimedWait(*monitor, 1500);
        EXPECT_GE(clock.slept, 1500u) << start;
        EXPECT_LE(clock.slept, 1600u) << start;
        EXPECT_EQ(clock.doEvents, 15) << start;
    }
    clock.doEvents = 0;
    TimedWait(*monitor, 0);
    EXPECT_EQ(clock.doEvents, 0);
}

}  // namespace
}  // namespace rm::test
