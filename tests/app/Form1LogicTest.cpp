// The window's own handlers on the fake window, with no toolkit: the period the
// start button reads, the tray record every add writes, delete-then-add, and the
// flash tick's alternation.
#include <gtest/gtest.h>

#include <climits>
#include <memory>

#include "core/Monitor.h"
#include "core/Tray.h"
#include "platform/fake/FakeForm1.h"
#include "platform/fake/FakeServices.h"

namespace rm {
namespace {

class Form1LogicTest : public ::testing::Test, protected FakeServices {
  protected:
    Form1LogicTest() {
        monitor = std::make_unique<Monitor>(services, [this](Form1Events&) {
            auto f = std::make_unique<FakeForm1>();
            form = f.get();
            return f;
        });
    }

    std::unique_ptr<Monitor> monitor;
    FakeForm1* form = nullptr;
};

TEST_F(Form1LogicTest, StartReadsThePeriodByTheNumberRule) {
    const struct {
        const char* text;
        int32_t kiki;
    } cases[] = {{"", 0},
                 {"abc", 0},
                 {"2 0", 20},
                 {"2.5", 2},
                 {"3.5", 4},
                 {"&H10", 16},
                 {"-7x", -7},
                 {"1e2", 100},
                 {"99999999999", INT32_MAX},
                 {"-99999999999", INT32_MIN}};
    for (const auto& c : cases) {
        (*form)[Control::Text8].text = c.text;
        monitor->Command1Click();
        EXPECT_EQ(monitor->state.kiki, c.kiki) << c.text;
    }
}

TEST_F(Form1LogicTest, AddWritesTheWholeRecord) {
    AddTrayIcon(*monitor, IconId::Window);
    const TrayRecord& r = monitor->state.trayicon;
    EXPECT_EQ(r.cbSize, 88u);
    EXPECT_EQ(r.uID, 1u);
    EXPECT_EQ(r.uFlags, 7u);
    EXPECT_EQ(r.uCallbackMessage, 512u);
    EXPECT_EQ(r.hIcon, IconId::Window);
    EXPECT_EQ(r.szTip, "Tesk网监视");
    EXPECT_NE(r.hWnd, 0u);
    ASSERT_EQ(tray.calls.size(), 1u);
    EXPECT_EQ(tray.calls[0].action, TrayHost::kAdd);
    EXPECT_EQ(tray.Shown(), IconId::Window);
    EXPECT_EQ(tray.icons.begin()->second.szTip, "Tesk网监视");
}

TEST_F(Form1LogicTest, ReplaceDeletesThenAddsAndNeverModifies) {
    AddTrayIcon(*monitor, IconId::Window);
    ReplaceTrayIcon(*monitor, IconId::Picture2);
    EXPECT_EQ(tray.Shown(), IconId::Picture2);
    RemoveTrayIcon(*monitor);
    EXPECT_EQ(tray.Shown(), IconId::None);
    RemoveTrayIcon(*monitor);  // absent: fails, changes nothing
    ReplaceTrayIcon(*monitor, IconId::Window);
    EXPECT_EQ(tray.Shown(), IconId::Window);
    for (const auto& c : tray.calls) EXPECT_NE(c.action, TrayHost::kModify);
    ASSERT_GE(tray.calls.size(), 5u);
    EXPECT_FALSE(tray.calls[4].ok);
    EXPECT_TRUE(tray.calls.back().ok);
}

TEST_F(Form1LogicTest, FlashTicksAlternateTheRedIconsFromTheFirstFlashIcon) {
    AddTrayIcon(*monitor, IconId::Window);
    tray.calls.clear();
    monitor->Timer2Tick();
    EXPECT_EQ(monitor->state.ki, -1);
    EXPECT_EQ(tray.Shown(), IconId::Picture1);
    monitor->Timer2Tick();
    EXPECT_EQ(monitor->state.ki, 0);
    EXPECT_EQ(tray.Shown(), IconId::Picture2);
    ASSERT_EQ(tray.calls.size(), 4u);
    EXPECT_EQ(tray.calls[0].action, TrayHost::kDelete);
    EXPECT_EQ(tray.calls[1].action, TrayHost::kAdd);
    EXPECT_EQ(tray.calls[2].action, TrayHost::kDelete);
    EXPECT_EQ(tray.calls[3].action, TrayHost::kAdd);
}

}  // namespace
}  // namespace rm
