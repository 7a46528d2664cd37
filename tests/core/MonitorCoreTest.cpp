// The window's logic on a fake window and fake services, without any toolkit:
// when scans run, the host-list filter, both verdicts and their reactions, the
// stop, the flash, the tray's double-click, the settings mapping and the close.
#include <gtest/gtest.h>

#include <memory>

#include "core/MonitorCycle.h"
#include "core/SettingsStore.h"
#include "core/Startup.h"
#include "core/Tray.h"
#include "platform/fake/FakeForm1.h"
#include "platform/fake/FakeServices.h"

namespace rm {
namespace {

const std::string kRouterMac = "00-AA-BB-CC-DD-01";

std::string Line(int host, const std::string& mac) {
    return "192.168.1." + std::to_string(host) + "  " + mac;
}

class MonitorCoreTest : public ::testing::Test, protected FakeServices {
  protected:
    MonitorCoreTest() {
        addresses.SetAddresses({"192.168.1.20"});
        localAddress.ip = "192.168.1.20";
        arp.Set("192.168.1.20", {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
        arp.Set("192.168.1.1", {0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x01});
        monitor = std::make_unique<Monitor>(services, [this](Form1Events&) {
            auto f = std::make_unique<FakeForm1>();
            form = f.get();
            return f;
        });
        (*form)[Control::Text1].text = kRouterMac;
        AddTrayIcon(*monitor, IconId::Window);
        tray.calls.clear();
    }

    size_t Ticks(int n) {
        const size_t before = scanner.calls.size();
        for (int i = 0; i < n; ++i) monitor->Timer1Tick();
        return scanner.calls.size() - before;
    }

    void ControlDownloadManager() {
        (*form)[Control::Check2].check = CheckState::Ticked;
        (*form)[Control::Text15].text = "/opt/thunder/Thunder 5";
        (*form)[Control::Text14].text = "迅雷";
        windows.windows[7] = "迅雷5 - 下载";
        windows.windows[8] = "Editor";
    }

    FakeForm1* form = nullptr;
    std::unique_ptr<Monitor> monitor;
};

TEST_F(MonitorCoreTest, StartScansOnTheFirstTickThenEveryPeriod) {
    scanner.sweeps = {{Line(30, "00-11-22-33-44-55")}};
    monitor->Command1Click();
    EXPECT_EQ((*form)[Control::Timer1].interval, 100);
    EXPECT_TRUE((*form)[Control::Timer1].active);
    EXPECT_EQ(Ticks(1), 1u);
    EXPECT_EQ(monitor->state.kiki, 0);
    EXPECT_EQ((*form)[Control::Timer1].interval, 1000);
    EXPECT_EQ(Ticks(20), 0u);
    EXPECT_EQ(Ticks(1), 1u);
    EXPECT_EQ(scanner.calls.back().prefix, "192.168.1.");
    EXPECT_EQ(scanner.calls.back().first, 1);
    EXPECT_EQ(scanner.calls.back().last, 255);
}

TEST_F(MonitorCoreTest, TheFilterLeavesOnlyOtherComputers) {
    (*form)[Text9(3)].text = "77-77";
    scanner.sweeps = {{Line(1, kRouterMac), Line(20, "00-1A-2B-3C-4D-5E"),
                       Line(2, "00-00-00-00-00-00"), Line(3, "00-0B-6B-9A-63-5E"),
                       Line(4, "00-77-77-00-00-01"), Line(30, "00-11-22-33-44-55")}};
    (*form)[Control::Text8].text = "0";
    EXPECT_EQ(Ticks(1), 1u);
    EXPECT_EQ(form->Items(Control::List1), std::vector<std::string>{Line(30, "00-11-22-33-44-55")});
    EXPECT_EQ((*form)[Control::Label11].text, "注意！有1台计算机在网络");
    EXPECT_EQ(monitor->state.found, 1);
    EXPECT_TRUE((*form)[Control::List1].visible);
}

TEST_F(MonitorCoreTest, OthersFoundWarnRestartTheFlashAndCloseTheDownloadManager) {
    ControlDownloadManager();
    (*form)[Control::Check1].check = CheckState::Unticked;
    (*form)[Control::Check4].check = CheckState::Ticked;
    (*form)[Control::Text8].text = "0";
    scanner.sweeps = {{Line(30, "00-11-22-33-44-55")}};
    Ticks(2);
    EXPECT_EQ(sound.played, std::vector<std::string>(2, "/opt/router-monitor/警告.wav"));
    // Every alarm sets the interval and enables Timer2 again.
    EXPECT_EQ((*form)[Control::Timer2].interval, 1000);
    EXPECT_EQ((*form)[Control::Timer2].starts, 2);
    EXPECT_EQ((*form)[Control::Label15].text, "危险");
    EXPECT_EQ((*form)[Control::Label15].colour, LabelColour::Red);
    EXPECT_EQ(windows.closed, (std::vector<WindowSystem::WindowId>{7, 7}));
    EXPECT_EQ(monitor->state.qidong, 0);
}

TEST_F(MonitorCoreTest, AFreeNetworkStartsTheDownloadManagerOnceAndMinimisesIt) {
    ControlDownloadManager();
    (*form)[Control::Check3].check = CheckState::Unticked;
    (*form)[Control::Text8].text = "0";
    scanner.sweeps = {{}};
    EXPECT_EQ(Ticks(1), 10u);  // ten empty sweeps
    EXPECT_EQ((*form)[Control::Label15].text, "安全");
    EXPECT_EQ((*form)[Control::Label15].colour, LabelColour::Green);
    EXPECT_EQ(sound.played, std::vector<std::string>{"/opt/router-monitor/安全.wav"});
    EXPECT_EQ(launcher.started, std::vector<std::string>{"/opt/thunder/Thunder 5"});
    EXPECT_EQ(windows.minimized, std::vector<WindowSystem::WindowId>{7});
    EXPECT_EQ(tray.Shown(), IconId::Window);
    Ticks(1);
    EXPECT_EQ(launcher.started.size(), 1u);  // once per closing
}

TEST_F(MonitorCoreTest, AChangedRouterGivesNoVerdict) {
    (*form)[Control::Text1].text = "00-AA-BB-CC-DD-02";
    (*form)[Control::Text8].text = "0";
    scanner.sweeps = {{}};
    arp.answers.clear();
    arp.Set("192.168.1.20", {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
    arp.Set("192.168.1.1", {0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x03});
    Ticks(1);
    EXPECT_EQ((*form)[Control::Text1].text, "00-AA-BB-CC-DD-03");
    // The router changes while the sweeps wait: the verdict's check sees it.
    clock.onDoEvents = [this] { arp.Set("192.168.1.1", {0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x04}); };
    Ticks(1);
    EXPECT_EQ((*form)[Control::Label15].text, "未知");
    EXPECT_EQ((*form)[Control::Label11].text, "检测到AP已更换，扫描新AP");
}

TEST_F(MonitorCoreTest, StopIsCarriedOutAtTheNextCheckPoint) {
    scanner.sweeps = {{Line(30, "00-11-22-33-44-55")}};
    monitor->Command1Click();
    Ticks(1);
    monitor->Command2Click();
    EXPECT_EQ(monitor->state.stopjiankong, 1);
    Ticks(1);
    EXPECT_EQ(monitor->state.stopjiankong, 0);
    EXPECT_FALSE((*form)[Control::Timer1].active);
    EXPECT_EQ((*form)[Control::Label14].text, "停止中");
    EXPECT_TRUE((*form)[Control::Command1].visible);
    EXPECT_EQ((*form)[Control::Label11].text, "不知道有没有计算机在网络");
}

TEST_F(MonitorCoreTest, TheWaitLastsAcrossAWrapOfTheCounter) {
    clock.now = 0xFFFFFF00u;
    TimedWait(*monitor, 1500);
    EXPECT_GE(clock.slept, 1500u);
    EXPECT_LT(clock.slept, 1700u);
    EXPECT_EQ(clock.doEvents, 15);
}

TEST_F(MonitorCoreTest, FlashTicksAlternateTheRedIconsAndADoubleClickShowsTheWindow) {
    monitor->Timer2Tick();
    EXPECT_EQ(tray.Shown(), IconId::Picture1);
    monitor->Timer2Tick();
    EXPECT_EQ(tray.Shown(), IconId::Picture2);
    EXPECT_EQ(tray.icons.begin()->second.szTip, "Tesk网监视");

    monitor->Command4Click();
    EXPECT_FALSE(form->windowShown);
    tray.Mouse(512);
    EXPECT_FALSE(form->windowShown);
    tray.Mouse(515);
    EXPECT_TRUE(form->windowShown);
}

TEST_F(MonitorCoreTest, SettingsGoToTheirFilesAndComeBack) {
    (*form)[Control::Text8].text = "30";
    (*form)[Text9(9)].text = "AA-BB";
    monitor->Command3Click();
    ASSERT_EQ(settings.saves.size(), 1u);
    const auto& files = settings.saves[0];
    ASSERT_EQ(files.size(), 15u);
    EXPECT_EQ(files[0].fileName, "savedata1.ini");
    EXPECT_EQ(files[0].bytes, "30\r\n");
    EXPECT_EQ(files[14].fileName, "savedata19.ini");
    EXPECT_EQ(files[14].bytes, "AA-BB\r\n");

    (*form)[Control::Text8].text = "5";
    (*form)[Text9(9)].text = "";
    ASSERT_TRUE(LoadAllSettings(*monitor));
    EXPECT_EQ((*form)[Control::Text8].text, "30");
    EXPECT_EQ((*form)[Text9(9)].text, "AA-BB");
}

TEST_F(MonitorCoreTest, SettingsFailuresAreNamedInMessages) {
    settings.failWrite = true;
    settings.writeFailure = {"/s/savedata3.ini", "Permission denied", false, false};
    monitor->Command3Click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              "无法保存设置文件 /s/savedata3.ini：Permission denied\n设置文件均未改动。");
    EXPECT_EQ(messages.shown[0].style, 48);

    settings.files.clear();
    EXPECT_FALSE(FormLoad(*monitor));
    EXPECT_EQ(messages.shown.back().text,
              "无法读取设置文件 /settings/savedata1.ini：missing\n程序无法启动。");
    EXPECT_EQ(messages.shown.back().style, 16);
    EXPECT_TRUE(tray.calls.empty());  // nothing before the settings
}

TEST_F(MonitorCoreTest, ClosingDuringAScanEndsAtOnce) {
    monitor->FormUnload();
    EXPECT_EQ(clock.ended, 1);
    EXPECT_EQ(tray.Shown(), IconId::None);

    (*form)[Control::Text8].text = "0";
    scanner.sweeps = {{}};
    clock.onDoEvents = [this] {
        if (clock.endedAtOnce == 0) monitor->FormUnload();
    };
    Ticks(1);
    EXPECT_EQ(clock.endedAtOnce, 1);
}

}  // namespace
}  // namespace rm
