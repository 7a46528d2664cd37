// FormLoad and FormUnload against fakes: what start-up loads, probes and shows,
// in which order, and what shutdown leaves behind.
#include <arpa/inet.h>
#include <sys/stat.h>

#include "core/Startup.h"
#include "settings/SettingsFixture.h"

namespace rm {
namespace {

class StartupTest : public SettingsFixture {
  protected:
    StartupTest() {
        addresses.SetAddresses({"192.168.1.20"});
        localAddress.ip = std::string("192.168.1.20");
        arp.Set("192.168.1.20", {0x02, 0x00, 0x00, 0x00, 0x00, 0x14});
        arp.Set("192.168.1.1", {0x02, 0x00, 0x00, 0x00, 0x00, 0x01});
        sockets.names[inet_addr("192.168.1.20")] = "scanner";
    }
};

TEST_F(StartupTest, LoadsSettingsAddsTheIconAndFillsBothRows) {
    WriteFile("savedata1.ini", "7\r\n");
    WriteFile("savedata4.ini", "\xD1\xB8\xC0\xD7\r\n");

    ASSERT_TRUE(FormLoad(*monitor));

    EXPECT_EQ(form->Text(Control::Text8), std::string("7"));
    EXPECT_EQ(form->Text(Control::Text14), std::string("迅雷"));
    EXPECT_EQ(tray.Shown(), IconId::Window);
    EXPECT_EQ(monitor->state.trayicon.szTip, std::string("Tesk网监视"));
    EXPECT_EQ(form->Text(Control::Combo1), std::string("192.168.1."));
    EXPECT_EQ(form->Text(Control::Text5), std::string("192.168.1.20"));
    EXPECT_EQ(form->Text(Control::Text4), std::string("02-00-00-00-00-14"));
    EXPECT_EQ(form->Text(Control::Text6), std::string("scanner"));
    EXPECT_EQ(form->Text(Control::Text1), std::string("02-00-00-00-00-01"));
    EXPECT_EQ(form->Text(Control::Text2), std::string("192.168.1.1"));
    EXPECT_EQ(form->Text(Control::Text3), std::string("路由器"));
    // Own machine first, then the router; no scan has started.
    EXPECT_EQ(arp.requests,
              (std::vector<uint32_t>{inet_addr("192.168.1.20"), inet_addr("192.168.1.1")}));
    EXPECT_FALSE((*form)[Control::Timer1].active);
    EXPECT_FALSE((*form)[Control::Timer2].active);
    EXPECT_EQ(form->ItemCount(Control::List1), 0);
    EXPECT_TRUE(messages.shown.empty());
}

// Wrappers around the fakes that write each outside call into one log, so the
// order across services shows.
struct StartupLog {
    std::vector<std::string> steps;
    void Add(const std::string& step) {
        if (steps.empty() || steps.back() != step) steps.push_back(step);
    }
};

struct LoggedTray : TrayHost {
    LoggedTray(FakeTrayHost& inner, StartupLog& log, Form1Controls& form)
        : inner(inner), log(log), form(form) {}
    bool ShellNotifyIcon(int action, const TrayRecord& r) override {
        // The settings are in when the icon comes: Text8 holds the file's value.
        if (action == kAdd) log.Add("tray icon, period " + form.Text(Control::Text8));
        return inner.ShellNotifyIcon(action, r);
    }
    void SetCallback(std::function<void(float)> f) override { inner.SetCallback(std::move(f)); }
    FakeTrayHost& inner;
    StartupLog& log;
    Form1Controls& form;
};

struct LoggedAddresses : AddressTable {
    LoggedAddresses(FakeAddressTable& inner, StartupLog& log) : inner(inner), log(log) {}
    uint32_t GetIpAddrTable(uint8_t* buffer, uint32_t* size, bool sorted) override {
        log.Add("address list");
        return inner.GetIpAddrTable(buffer, size, sorted);
    }
    FakeAddressTable& inner;
    StartupLog& log;
};

struct LoggedArp : ArpResolver {
    LoggedArp(FakeArpResolver& inner, StartupLog& log) : inner(inner), log(log) {}
    uint32_t SendArp(uint32_t dest, uint32_t src, uint8_t* mac, uint32_t* len) override {
        in_addr a{dest};
        log.Add(std::string("probe ") + inet_ntoa(a));
        return inner.SendArp(dest, src, mac, len);
    }
    FakeArpResolver& inner;
    StartupLog& log;
};

struct LoggedSockets : SocketLibrary {
    LoggedSockets(FakeSocketLibrary& inner, StartupLog& log) : inner(inner), log(log) {}
    int WsaStartup(uint16_t requested, WsaData* data) override {
        return inner.WsaStartup(requested, data);
    }
    int WsaCleanup() override { return inner.WsaCleanup(); }
    std::optional<std::string> GetHostByAddr(const uint8_t addr[4]) override {
        log.Add("host name");
        return inner.GetHostByAddr(addr);
    }
    FakeSocketLibrary& inner;
    StartupLog& log;
};

struct LoggedLocalAddress : LocalAddress {
    LoggedLocalAddress(FakeLocalAddress& inner, StartupLog& log) : inner(inner), log(log) {}
    std::string LocalIp() override {
        log.Add("own address");
        return inner.LocalIp();
    }
    FakeLocalAddress& inner;
    StartupLog& log;
};

TEST_F(StartupTest, GoesSettingsTrayIconAddressListOwnRowRouterRow) {
    WriteFile("savedata1.ini", "7\r\n");
    StartupLog log;
    LoggedTray loggedTray(tray, log, *form);
    LoggedAddresses loggedAddresses(addresses, log);
    LoggedArp loggedArp(arp, log);
    LoggedLocalAddress loggedLocal(localAddress, log);
    LoggedSockets loggedSockets(sockets, log);
    services.tray = &loggedTray;
    services.addresses = &loggedAddresses;
    services.arp = &loggedArp;
    services.localAddress = &loggedLocal;
    services.sockets = &loggedSockets;

    const bool loaded = FormLoad(*monitor);
    // The wrappers end with this test, the form after it: back to the fakes.
    services.tray = &tray;
    services.addresses = &addresses;
    services.arp = &arp;
    services.localAddress = &localAddress;
    services.sockets = &sockets;
    ASSERT_TRUE(loaded);

    EXPECT_EQ(log.steps,
              (std::vector<std::string>{"tray icon, period 7", "address list", "own address",
                                        "probe 192.168.1.20", "host name", "probe 192.168.1.1"}));
}

TEST_F(StartupTest, ASilentRouterLeavesItsRowAsItWas) {
    arp.Remove("192.168.1.1");
    ASSERT_TRUE(FormLoad(*monitor));
    EXPECT_EQ(form->Text(Control::Text1), std::string("Text1"));
    EXPECT_EQ(form->Text(Control::Text2), std::string("Text2"));
    EXPECT_EQ(form->Text(Control::Text3), std::string("Text3"));
    EXPECT_EQ(tray.Shown(), IconId::Window);
}

TEST_F(StartupTest, TheRouterIsHostOneOfTheSelectedNetwork) {
    addresses.SetAddresses({"192.168.0.5", "10.0.0.9"});
    localAddress.ip = std::string("192.168.0.5");
    arp.Set("192.168.0.1", {0x0A, 0xBB, 0x0C, 0x0D, 0x0E, 0x0F});
    ASSERT_TRUE(FormLoad(*monitor));
    EXPECT_EQ(form->Text(Control::Text1), std::string("0A-BB-0C-0D-0E-0F"));
    EXPECT_EQ(form->Text(Control::Text2), std::string("192.168.0.1"));
    // The own address does not answer its own probe here, and has no name.
    EXPECT_EQ(form->Text(Control::Text4), std::string("False"));
    EXPECT_EQ(form->Text(Control::Text6), "");
}

TEST_F(StartupTest, WithoutAnyLocalNetworkNoRouterIsGuessed) {
    addresses.addresses.clear();
    localAddress.ip.clear();
    ASSERT_TRUE(FormLoad(*monitor));
    EXPECT_EQ(form->ItemCount(Control::Combo1), 0);
    EXPECT_EQ(form->Text(Control::Text1), std::string("Text1"));
    EXPECT_EQ(arp.requests.size(), 1u);  // only the (empty) own address
}

TEST_F(StartupTest, AMissingSettingsFileEndsBeforeAnyIconOrProbe) {
    ASSERT_TRUE(::unlink(PathOf("savedata3.ini").c_str()) == 0);
    EXPECT_FALSE(FormLoad(*monitor));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(Contains(messages.shown[0].text, std::string("savedata3.ini")));
    EXPECT_TRUE(tray.calls.empty());
    EXPECT_TRUE(arp.requests.empty());
    EXPECT_EQ(addresses.calls, 0);
}

TEST_F(StartupTest, ASettingsFileOthersMayWriteEndsBeforeAnyIconOrProbe) {
    ASSERT_EQ(::chmod(PathOf("savedata5.ini").c_str(), 0666), 0);
    EXPECT_FALSE(FormLoad(*monitor));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(Contains(messages.shown[0].text, PathOf("savedata5.ini")));
    EXPECT_TRUE(tray.calls.empty());
    EXPECT_TRUE(arp.requests.empty());
}

TEST_F(StartupTest, ASettingsFolderThatCannotBeUsedEndsBeforeAnyIconOrProbe) {
    settingsFolder.createError = std::string("设置文件夹 /x 属于另一个用户（uid 4242）");
    EXPECT_FALSE(FormLoad(*monitor));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(Contains(messages.shown[0].text, settingsFolder.createError));
    EXPECT_EQ(messages.shown[0].style, 16);
    EXPECT_TRUE(tray.calls.empty());
    EXPECT_TRUE(arp.requests.empty());
}

TEST_F(StartupTest, ClosingRemovesTheIconAndEndsWithoutSaving) {
    ASSERT_TRUE(FormLoad(*monitor));
    form->SetText(Control::Text8, "not saved");
    form->SetInterval(Control::Timer2, 1000);
    form->SetTimerEnabled(Control::Timer2, true);

    FormUnload(*monitor);

    EXPECT_EQ(tray.Shown(), IconId::None);
    EXPECT_EQ(tray.calls.back().action, TrayHost::kDelete);
    EXPECT_FALSE((*form)[Control::Timer1].active);
    EXPECT_FALSE((*form)[Control::Timer2].active);
    EXPECT_EQ(ReadFile("savedata1.ini"), std::string("20\r\n"));
    // Through the event loop: nothing else was running.
    EXPECT_EQ(clock.ended, 1);
    EXPECT_EQ(clock.endedAtOnce, 0);
}

TEST_F(StartupTest, ClosingDuringAScanWaitEndsTheProcessThere) {
    ASSERT_TRUE(FormLoad(*monitor));
    monitor->state.tickRunning = true;  // the close arrives inside a wait of MonitorTick
    FormUnload(*monitor);
    EXPECT_EQ(clock.endedAtOnce, 1);
    EXPECT_EQ(clock.ended, 0);
    EXPECT_EQ(tray.Shown(), IconId::None);
}

}  // namespace
}  // namespace rm
