// Start-up on the real Linux network layer inside the lab that netlab.sh builds
// around this binary: the router row with the lab's router answering and gone.
// Outside a lab every test skips: nothing here may probe the machine's network.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "core/Startup.h"
#include "platform/linux/LinuxPlatform.h"
#include "settings/SettingsFixture.h"

namespace rm {
namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// Runs a command of the lab script on this lab, e.g. Lab("leave", "r").
int Lab(const std::string& command, const std::string& host) {
    const std::string cmd =
        Env("RM_LAB_SCRIPT") + " " + command + " " + Env("RM_LAB_NAME") + " " + host;
    return std::system(cmd.c_str());
}

class StartupLabTest : public SettingsFixture {
  protected:
    void SetUp() override {
        if (Env("RM_LAB_NAME").empty()) GTEST_SKIP() << "not inside the network lab";
        realArp = MakeLinuxArpResolver();
        realAddresses = MakeLinuxAddressTable();
        realSockets = MakeLinuxSocketLibrary();
        realLocal = MakeLinuxLocalAddress();
        services.arp = realArp.get();
        services.addresses = realAddresses.get();
        services.sockets = realSockets.get();
        services.localAddress = realLocal.get();
    }

    std::unique_ptr<ArpResolver> realArp;
    std::unique_ptr<AddressTable> realAddresses;
    std::unique_ptr<SocketLibrary> realSockets;
    std::unique_ptr<LocalAddress> realLocal;
};

TEST_F(StartupLabTest, TheAnsweringRouterFillsItsRow) {
    // The lab's names file is this namespace's /etc/hosts: the own address gets
    // the first name listed for it there, or one of ours when it has none.
    const std::string hostsPath = "/etc/netns/" + Env("RM_LAB_NAME") + "-scan/hosts";
    std::string ownName;
    {
        std::ifstream hosts(hostsPath);
        ASSERT_TRUE(hosts) << hostsPath;
        std::string line;
        while (ownName.empty() && std::getline(hosts, line)) {
            std::istringstream fields(line);
            std::string ip, name;
            if (fields >> ip >> name && ip == Env("RM_LAB_SCANNER_IP")) ownName = name;
        }
    }
    if (ownName.empty()) {
        ownName = "netlab-self";
        // Appended in place: `ip netns exec` shows this very file as /etc/hosts.
        std::ofstream hosts(hostsPath, std::ios::app);
        hosts << Env("RM_LAB_SCANNER_IP") << ' ' << ownName << '\n';
        ASSERT_TRUE(hosts.flush()) << hostsPath;
    }

    ASSERT_TRUE(FormLoad(*monitor));

    EXPECT_EQ(form->Text(Control::Combo1), Env("RM_LAB_PREFIX"));
    EXPECT_EQ(form->Text(Control::Text5), Env("RM_LAB_SCANNER_IP"));
    EXPECT_EQ(form->Text(Control::Text4), Env("RM_LAB_SCANNER_MAC"));
    EXPECT_EQ(form->Text(Control::Text6), ownName);
    EXPECT_EQ(form->Text(Control::Text1), Env("RM_LAB_ROUTER_MAC"));
    EXPECT_EQ(form->Text(Control::Text2), Env("RM_LAB_ROUTER_IP"));
    EXPECT_EQ(form->Text(Control::Text3), std::string("路由器"));
    EXPECT_EQ(tray.Shown(), IconId::Window);
}

TEST_F(StartupLabTest, ASilentRouterLeavesThePlaceholders) {
    ASSERT_EQ(Lab("leave", "r"), 0);
    const bool loaded = FormLoad(*monitor);
    EXPECT_EQ(Lab("join", "r"), 0);

    ASSERT_TRUE(loaded);
    EXPECT_EQ(form->Text(Control::Text1), std::string("Text1"));
    EXPECT_EQ(form->Text(Control::Text2), std::string("Text2"));
    EXPECT_EQ(form->Text(Control::Text3), std::string("Text3"));
    EXPECT_EQ(form->Text(Control::Text5), Env("RM_LAB_SCANNER_IP"));  // the own row still fills
    EXPECT_EQ(tray.Shown(), IconId::Window);
}

}  // namespace
}  // namespace rm
