// The reactions against real download clients: Transmission, qBittorrent and
// aria2 as download-daemons.sh starts them on the loopback of a namespace of
// its own, reached with libcurl, the answers read from the Qt window's Text15.
// Each scenario: others present pauses the running transfer, a free line
// resumes it and leaves the user's paused one alone; a wrong password and a
// stopped daemon end in the tool tip; the window's events keep flowing
// throughout. The time from the verdict to the daemon's change is printed.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <map>
#include <thread>

#include "app/WindowFixture.h"
#include "core/Reactions.h"
#include "core/RemoteClient.h"
#include "gui/qt/QtFrontEnd.h"
#include "platform/linux/LinuxPlatform.h"

namespace rm {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// The right address, one with a wrong password or secret and the tool tip it
// brings, Text14, and which transfers are paused while others are present.
struct Daemon {
    std::string name, address, wrongAddress, wrongAnswer, fragment;
    std::map<std::string, bool> heldBack;
};

class DownloadClientLab : public WindowFixture {
  protected:
    void SetUp() override {
        services.http = http.get();
        services.poster = poster.get();
        MakeWindow();
        // A router that answers the free verdict's check as the scan found it.
        addresses.SetAddresses({"192.168.1.20"});
        arp.Set("192.168.1.1", {0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x01});
        form->SetText(Control::Text1, "00-AA-BB-CC-DD-01");
        for (QCheckBox* box : {form->Check2, form->Check1, form->Check3})
            box->setCheckState(Qt::Checked);
        // Measures how long the window's thread goes without serving a 10 ms timer.
        QObject::connect(&ticker, &QTimer::timeout,
                         [this] { longestGapMs = std::max(longestGapMs, sinceTick.restart()); });
        sinceTick.start();
        ticker.start(10);
    }

    std::string ToolTip() { return form->Text15->toolTip().toStdString(); }
    // Serves the window's events until the tool tip reads `answer`.
    bool AwaitToolTip(const std::string& answer) {
        const auto end = Clock::now() + 10s;
        while (ToolTip() != answer && Clock::now() < end)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return ToolTip() == answer;
    }

    // A verdict, timed: the reaction itself must return at once.
    void React(bool othersPresent) {
        const auto start = Clock::now();
        sinceTick.restart();  // the test's own blocking calls before this do not count
        othersPresent ? ReactToOthersFound(*monitor) : ReactToNetworkFree(*monitor);
        EXPECT_LT(Clock::now() - start, 100ms) << "the reaction held the window's thread";
    }

    std::map<std::string, std::optional<bool>> States(RemoteClient& client,
                                                      std::string* failure = nullptr) {
        std::vector<Transfer> transfers;
        std::string ignored;
        std::map<std::string, std::optional<bool>> states;
        if (client.List(&transfers, failure ? failure : &ignored))
            for (const Transfer& t : transfers) states[t.name] = t.paused;
        return states;
    }
    std::map<std::string, std::optional<bool>> States(const std::string& address) {
        return States(*MakeRemoteClient(*ParseClientAddress(address), *watcherHttp));
    }

    // From a thread and a session of its own, the milliseconds from `since`
    // until running.bin shows `paused`; -1 if it never does.
    std::future<long long> Watch(const std::string& address, bool paused, Clock::time_point since) {
        return std::async(std::launch::async, [=, this] {
            auto client = MakeRemoteClient(*ParseClientAddress(address), *watcherHttp);
            while (Clock::now() - since < 10s) {
                if (States(*client)["running.bin"] == std::optional<bool>(paused))
                    return (long long)std::chrono::duration_cast<std::chrono::milliseconds>(
                               Clock::now() - since).count();
                std::this_thread::sleep_for(2ms);
            }
            return -1LL;
        });
    }

    void RunScenario(const Daemon& d, const char* pidVariable) {
        form->SetText(Control::Text15, d.address);
        form->SetText(Control::Text14, d.fragment);
        std::map<std::string, std::optional<bool>> before = States(d.address);
        ASSERT_EQ(before["running.bin"], false);
        ASSERT_EQ(before["held.bin"], true);

        // Others present: what runs and matches is paused, and only that is counted.
        auto paused = Watch(d.address, true, Clock::now());
        React(true);
        ASSERT_TRUE(AwaitToolTip("已暂停 1 个任务")) << ToolTip();
        const long long pausedMs = paused.get();
        ASSERT_GE(pausedMs, 0);
        auto during = States(d.address);
        for (const auto& [name, held] : d.heldBack) EXPECT_EQ(during[name], held) << name;

        // The line is free: the monitor's pause is undone, the user's is not.
        auto resumed = Watch(d.address, false, Clock::now());
        React(false);
        ASSERT_TRUE(AwaitToolTip("已恢复 1 个任务")) << ToolTip();
        const long long resumedMs = resumed.get();
        ASSERT_GE(resumedMs, 0);
        EXPECT_EQ(States(d.address), before);
        std::printf("%s: verdict to paused %lld ms, verdict to resumed %lld ms\n", d.name.c_str(),
                    pausedMs, resumedMs);

        // A wrong password: the answer shows, nothing changes.
        form->SetText(Control::Text15, d.wrongAddress);
        React(true);
        EXPECT_TRUE(AwaitToolTip(d.wrongAnswer)) << ToolTip();
        EXPECT_EQ(States(d.address), before);

        // The daemon stopped (waited for without serving the window: it is
        // not the window's): the refusal shows.
        kill(pid_t(std::stoi(std::getenv(pidVariable))), SIGTERM);
        auto client = MakeRemoteClient(*ParseClientAddress(d.address), *watcherHttp);
        std::string failure;
        for (int i = 0; i < 100 && (States(*client, &failure), failure != "连接被拒绝"); ++i)
            std::this_thread::sleep_for(100ms);
        ASSERT_EQ(failure, "连接被拒绝");
        form->SetText(Control::Text15, d.address);
        React(false);  // qidong is 0 again: the free verdict asks
        EXPECT_TRUE(AwaitToolTip("连接被拒绝")) << ToolTip();
        EXPECT_LT(longestGapMs, 100) << "the window went unserved";
    }

    std::unique_ptr<HttpClient> http = MakeCurlHttpClient();
    std::unique_ptr<HttpClient> watcherHttp = MakeCurlHttpClient();
    std::unique_ptr<TaskPoster> poster = MakeQtTaskPoster();
    QTimer ticker;
    QElapsedTimer sinceTick;
    qint64 longestGapMs = 0;
};

TEST_F(DownloadClientLab, Transmission) {
    const std::string at = "@127.0.0.1:" + Env("RM_DL_TR_PORT");
    // Only names with the fragment: other.bin runs on.
    RunScenario({"Transmission", "transmission://rm:rm%2Dsecret" + at, "transmission://rm:wrong" + at,
                 "401 未授权", "running",
                 {{"running.bin", true}, {"held.bin", true}, {"other.bin", false}}},
                "RM_DL_TR_PID");
}

TEST_F(DownloadClientLab, QBittorrent) {
    const std::string at = "@localhost:" + Env("RM_DL_QB_PORT");
    RunScenario({"qBittorrent", "qbittorrent://admin:adminadmin" + at,
                 "qbittorrent://admin:wrong" + at, "用户名或密码错误", "",
                 {{"running.bin", true}, {"held.bin", true}}},
                "RM_DL_QB_PID");
}

TEST_F(DownloadClientLab, Aria2) {
    const std::string at = "@127.0.0.1:" + Env("RM_DL_A2_PORT");
    RunScenario({"aria2", "aria2://rm-secret" + at + "/", "aria2://wrong" + at, "未授权：密钥错误",
                 "", {{"running.bin", true}, {"held.bin", true}}},
                "RM_DL_A2_PID");
}

}  // namespace
}  // namespace rm
