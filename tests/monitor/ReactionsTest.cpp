// The verdict's reactions against fakes: sounds and their muting boxes, the tray
// alarm and flashing, the verdict label, the router re-check, and every row of
// the download manager's table.
#include <arpa/inet.h>

#include "core/LocalAddressTable.h"
#include "core/Reactions.h"
#include "tests/monitor/MonitorFixture.h"

namespace rm::test {
namespace {

class ReactionsTest : public MonitorFixture {
  protected:
    std::string Warning() const { return folder.path + "/警告.wav"; }
    std::string AllClear() const { return folder.path + "/安全.wav"; }
    std::vector<WindowSystem::WindowId> Only7() const { return {7}; }
    FakeControl& Timer2() { return (*this)[Control::Timer2]; }
};

// --- Sounds, icon and label ---

TEST_F(ReactionsTest, OthersFoundWarnsAndShowsTheSteadyAlarm) {
    Tick(Control::Check1, CheckState::Unticked);
    ReactToOthersFound(*monitor);
    EXPECT_EQ(sound.played, std::vector<std::string>{Warning()});
    EXPECT_EQ(TextOf(Control::Label15), "危险");
    EXPECT_EQ((*this)[Control::Label15].colour, LabelColour::Red);
    EXPECT_FALSE(Timer2().active);
    EXPECT_EQ(Timer2().interval, 1000);
    EXPECT_EQ(tray.Shown(), IconId::Picture2);
}

TEST_F(ReactionsTest, NetworkFreeGivesTheAllClear) {
    Tick(Control::Check3, CheckState::Unticked);
    ReactToNetworkFree(*monitor);
    EXPECT_EQ(sound.played, std::vector<std::string>{AllClear()});
    EXPECT_EQ(TextOf(Control::Label15), "安全");
    EXPECT_EQ((*this)[Control::Label15].colour, LabelColour::Green);
    EXPECT_EQ(tray.Shown(), IconId::Window);
}

TEST_F(ReactionsTest, TickedOrGreyedMutingBoxesSilenceButKeepTheVerdict) {
    for (CheckState state : {CheckState::Ticked, CheckState::Greyed}) {
        Tick(Control::Check1, state);
        Tick(Control::Check3, state);
        ReactToOthersFound(*monitor);
        EXPECT_EQ(TextOf(Control::Label15), "危险");
        EXPECT_EQ(tray.Shown(), IconId::Picture2);
        ReactToNetworkFree(*monitor);
        EXPECT_EQ(TextOf(Control::Label15), "安全");
    }
    EXPECT_TRUE(sound.played.empty());
}

TEST_F(ReactionsTest, FlashingRunsUntilAFreeVerdict) {
    Tick(Control::Check4, CheckState::Ticked);
    ReactToOthersFound(*monitor);
    EXPECT_TRUE(Timer2().active);
    EXPECT_TRUE(tray.calls.empty());  // the first flash tick changes the icon

    ReactToNetworkFree(*monitor);
    EXPECT_FALSE(Timer2().active);
    EXPECT_EQ(tray.Shown(), IconId::Window);
}

// The window's timer restarts its interval when enabled again (tested on the Qt
// window); here: every alarm sets the interval and enables the timer anew.
TEST_F(ReactionsTest, EveryAlarmRestartsTheFlashRhythm) {
    Tick(Control::Check4, CheckState::Ticked);
    ReactToOthersFound(*monitor);
    Timer2().interval = 250;  // whatever it held meanwhile
    ReactToOthersFound(*monitor);
    EXPECT_TRUE(Timer2().active);
    EXPECT_EQ(Timer2().interval, 1000);
    EXPECT_EQ(Timer2().starts, 2);
}

TEST_F(ReactionsTest, GreyedFlashBoxGivesTheSteadyAlarm) {
    Tick(Control::Check4, CheckState::Greyed);
    Timer2().interval = 1000;  // an earlier alarm was flashing
    Timer2().active = true;
    ReactToOthersFound(*monitor);
    EXPECT_FALSE(Timer2().active);
    EXPECT_EQ(tray.Shown(), IconId::Picture2);
}

TEST_F(ReactionsTest, RouterChangedOrSilentRefusesTheFreeVerdict) {
    ControlDownloadManager();
    Tick(Control::Check3, CheckState::Unticked);
    Tick(Control::Check4, CheckState::Ticked);
    ReactToOthersFound(*monitor);  // flashing, qidong 0
    Set(Control::Label11, "注意！有0台计算机在网络");

    SetRouter({0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x02});
    ReactToNetworkFree(*monitor);
    arp.Remove("192.168.1.1");
    ReactToNetworkFree(*monitor);

    EXPECT_EQ(TextOf(Control::Label15), "未知");
    EXPECT_EQ((*this)[Control::Label15].colour, LabelColour::ButtonText);
    EXPECT_EQ(TextOf(Control::Label11), "检测到AP已更换，扫描新AP");
    EXPECT_EQ(TextOf(Control::Text1), kRouterMac);  // the next scan stores the new one
    EXPECT_TRUE(sound.played.empty());
    EXPECT_TRUE(launcher.started.empty());
    EXPECT_TRUE(Timer2().active);
    EXPECT_EQ(state().qidong, 0);
}

// --- The download manager ---

TEST_F(ReactionsTest, DownloadManagerTable) {
    ControlDownloadManager();
    uint32_t startedAt = 0;
    launcher.onStart = [&](const std::string&) { startedAt = clock.now; };

    // qidong 0, free: start, wait 2 s, minimise by title.
    ReactToNetworkFree(*monitor);
    EXPECT_EQ(launcher.started, std::vector<std::string>{"/opt/thunder/Thunder 5"});
    EXPECT_EQ(windows.minimized, Only7());
    EXPECT_GE(clock.now - startedAt, 2000u);
    EXPECT_EQ(state().qidong, 1);

    // qidong 1, free: nothing.
    ReactToNetworkFree(*monitor);
    EXPECT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(windows.minimized.size(), 1u);
    EXPECT_EQ(state().qidong, 1);

    // qidong 1, others: close.
    ReactToOthersFound(*monitor);
    EXPECT_EQ(windows.closed, Only7());
    EXPECT_EQ(state().qidong, 0);

    // qidong 0, others: close again (whoever started it).
    ReactToOthersFound(*monitor);
    EXPECT_EQ(windows.closed.size(), 2u);
    EXPECT_EQ(state().qidong, 0);

    // Then the next free verdict starts it again.
    ReactToNetworkFree(*monitor);
    EXPECT_EQ(launcher.started.size(), 2u);
    EXPECT_EQ(state().qidong, 1);
}

TEST_F(ReactionsTest, DownloadManagerLeftAloneWithoutPathOrTick) {
    ControlDownloadManager();
    Set(Control::Text15, "");
    ReactToOthersFound(*monitor);
    ReactToNetworkFree(*monitor);

    Set(Control::Text15, "/opt/thunder/Thunder 5");
    for (CheckState state : {CheckState::Unticked, CheckState::Greyed}) {
        Tick(Control::Check2, state);
        ReactToOthersFound(*monitor);
        ReactToNetworkFree(*monitor);
    }
    EXPECT_TRUE(windows.closed.empty());
    EXPECT_TRUE(windows.minimized.empty());
    EXPECT_TRUE(launcher.started.empty());
    EXPECT_EQ(state().qidong, 0);
}

TEST_F(ReactionsTest, FailedStartKeepsTheOrderAndIsReportedOnTheStatusLineOnly) {
    ControlDownloadManager();
    launcher.succeed = false;
    const uint32_t before = clock.now;
    ReactToNetworkFree(*monitor);
    EXPECT_EQ(TextOf(Control::Label11), "无法启动下载程序");
    EXPECT_EQ(TextOf(Control::Label15), "安全");
    EXPECT_EQ(state().qidong, 1);
    // The wait and the minimise follow the start whatever it gave.
    EXPECT_GE(clock.now - before, 2000u);
    EXPECT_EQ(windows.minimized, Only7());
    EXPECT_TRUE(messages.shown.empty());

    ReactToNetworkFree(*monitor);  // no retry until others are found
    EXPECT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(windows.minimized.size(), 1u);
}

TEST_F(ReactionsTest, RouterChangedWhileStartedLeavesTheDownloadManagerAlone) {
    ControlDownloadManager();
    ReactToNetworkFree(*monitor);  // started: qidong 1
    ASSERT_EQ(state().qidong, 1);
    const std::vector<std::string> started = launcher.started;
    const auto minimized = windows.minimized;

    SetRouter({0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x02});
    ReactToNetworkFree(*monitor);

    EXPECT_EQ(TextOf(Control::Label11), "检测到AP已更换，扫描新AP");
    EXPECT_EQ(launcher.started, started);
    EXPECT_EQ(windows.minimized, minimized);
    EXPECT_TRUE(windows.closed.empty());
    EXPECT_EQ(state().qidong, 1);
}

TEST_F(ReactionsTest, NetworkFreeRefillsTheNetworkListAndTakesItsFirstEntry) {
    addresses.SetAddresses({"192.168.1.20", "10.0.0.9"});
    ListLocalPrefixes(addresses, *form);
    form->SetListIndex(Control::Combo1, 1);  // the user picked the other network
    ASSERT_EQ(TextOf(Control::Combo1), "10.0.0.");
    arp.requests.clear();

    ReactToNetworkFree(*monitor);

    EXPECT_EQ(form->ItemCount(Control::Combo1), 2);
    EXPECT_EQ(form->ListIndex(Control::Combo1), 0);
    EXPECT_EQ(TextOf(Control::Combo1), "192.168.1.");
    // The router re-check asks entry 0's router, which answers as before.
    EXPECT_EQ(arp.requests, std::vector<uint32_t>{inet_addr("192.168.1.1")});
    EXPECT_EQ(TextOf(Control::Label15), "安全");
}

TEST_F(ReactionsTest, StopDuringTheStartWaitIsLeftToTheCycle) {
    ControlDownloadManager();
    clock.onDoEvents = [&] { monitor->Command2Click(); };
    ReactToNetworkFree(*monitor);
    EXPECT_EQ(state().stopjiankong, 1);
    EXPECT_EQ(windows.minimized, Only7());  // the reaction finishes first
}

// --- A download client under remote control ---

// An address in Text15 takes the place of closing, starting and minimising:
// the request goes to the worker, the answer to the tool tip; qidong keeps
// its table; Check2 still switches it all off.
TEST_F(ReactionsTest, AnAddressPausesAndResumesInsteadOfClosingAndStarting) {
    ControlDownloadManager();
    Set(Control::Text15, "aria2://secret@nas");
    auto toolTip = [this] { return (*this)[Control::Text15].toolTip; };
    ReactToOthersFound(*monitor);
    EXPECT_EQ(state().qidong, 0);
    ASSERT_EQ(poster.RunPosted(), 1);
    EXPECT_EQ(toolTip(), "连接被拒绝");  // no daemon in the fakes
    // A resume that failed is asked again at the next free scan; one that
    // succeeded is not: once per closing.
    ReactToNetworkFree(*monitor);
    EXPECT_EQ(state().qidong, 1);
    ASSERT_EQ(poster.RunPosted(), 1);
    EXPECT_EQ(state().qidong, 0);
    http.handler = [](const HttpRequest&) {
        return HttpResponse{HttpFailure::None, 200, {}, R"({"id":"rm","result":[]})"};
    };
    ReactToNetworkFree(*monitor);
    ASSERT_EQ(poster.RunPosted(), 1);
    EXPECT_EQ(toolTip(), "已恢复 0 个任务");
    EXPECT_EQ(state().qidong, 1);
    ReactToNetworkFree(*monitor);
    EXPECT_EQ(poster.RunPosted(std::chrono::milliseconds(50)), 0);
    EXPECT_TRUE(windows.closed.empty() && launcher.started.empty() && windows.minimized.empty());
    EXPECT_EQ(clock.slept, 0u);  // no wait for a program's windows
    const auto sent = http.Sent();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front().host + ":" + std::to_string(sent.front().port), "nas:6800");

    Tick(Control::Check2, CheckState::Greyed);
    ReactToOthersFound(*monitor);
    EXPECT_EQ(poster.RunPosted(std::chrono::milliseconds(50)), 0);
    EXPECT_EQ(http.Sent().size(), sent.size());
}

TEST_F(ReactionsTest, AMalformedAddressIsNeitherSentNorStartedAsAProgram) {
    ControlDownloadManager();
    Set(Control::Text15, "qbittorrent://admin:pw@nas/api");
    ReactToOthersFound(*monitor);
    EXPECT_EQ((*this)[Control::Text15].toolTip, "地址无效");
    ReactToNetworkFree(*monitor);
    EXPECT_TRUE(launcher.started.empty() && windows.closed.empty() && http.Sent().empty());
}

}  // namespace
}  // namespace rm::test
