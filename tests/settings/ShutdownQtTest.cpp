// FormUnload with the Qt front end's clock: a close ends the event loop, and a
// close that arrives inside one of a scan's waits ends the process there, so
// the rest of that scan never runs.
#include <QCoreApplication>
#include <QTimer>
#include <cstdlib>

#include "core/Startup.h"
#include "gui/qt/QtFrontEnd.h"
#include "settings/SettingsFixture.h"

namespace rm {
namespace {

class ShutdownQtTest : public SettingsFixture {
  protected:
    ShutdownQtTest() { services.clock = qtClock.get(); }
    std::unique_ptr<Clock> qtClock = MakeQtClock();
};

TEST_F(ShutdownQtTest, ClosingEndsTheEventLoopWithoutSaving) {
    ASSERT_TRUE(FormLoad(*monitor));
    form->SetText(Control::Text8, "not saved");
    QTimer::singleShot(0, [this] { FormUnload(*monitor); });

    EXPECT_EQ(QCoreApplication::exec(), 0);  // the close ended the event loop

    EXPECT_EQ(tray.Shown(), IconId::None);
    EXPECT_EQ(ReadFile("savedata1.ini"), std::string("20\r\n"));
}

TEST_F(ShutdownQtTest, ClosingDuringAScanWaitEndsTheProcessThere) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ASSERT_TRUE(FormLoad(*monitor));
    monitor->state.tickRunning = true;  // the close arrives inside a wait of MonitorTick
    EXPECT_EXIT(
        {
            FormUnload(*monitor);
            std::exit(3);  // the rest of the scan: must never run
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace rm
