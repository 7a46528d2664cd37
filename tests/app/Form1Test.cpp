// The main window offscreen: every control against the design's inventory, the
// initial state, the focus order, the fonts, the buttons reaching the logic, and
// the controls as the logic reads and writes them.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QSignalSpy>
#include <QTest>
#include <cstring>

#include "core/LocalAddressTable.h"
#include "core/MonitorCycle.h"
#include "core/Reactions.h"
#include "gui/qt/Fonts.h"
#include "tests/app/WindowFixture.h"

namespace rm {
namespace {

class Form1Test : public WindowFixture {
  protected:
    static void SetUpTestSuite() { InstallFontSubstitutions(); }

    // Keeps the events flowing until `done` holds or `ms` have passed.
    static bool WaitFor(const std::function<bool()>& done, int ms = 2000) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms) QTest::qWait(10);
        return done();
    }

    QStringList Entries() const {
        QStringList out;
        for (int i = 0; i < form->List1->count(); ++i) out << form->List1->item(i)->text();
        return out;
    }
};

QString TextOf(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
    return {};
}

struct Design {
    const char* name;
    const char* in;    // "" for the window itself
    const char* text;  // nullptr: not part of the design
    int left, top, width, height;
};

// The window's design, in twips.
const Design kInventory[] = {
    {"Label3", "", "MAC", 1680, 120, 495, 255},
    {"Label1", "", "IP", 3480, 120, 615, 255},
    {"Label4", "", "主机名", 5280, 120, 735, 255},
    {"Label2", "", "路由器:", 240, 480, 1215, 375},
    {"Text1", "", "Text1", 960, 480, 1815, 375},
    {"Text2", "", "Text2", 2880, 480, 1815, 375},
    {"Text3", "", "Text3", 4800, 480, 1815, 375},
    {"Label5", "", "本  机:", 240, 960, 735, 375},
    {"Text4", "", "Text4", 960, 960, 1815, 375},
    {"Text5", "", "Text5", 2880, 960, 1815, 375},
    {"Text6", "", "Text6", 4800, 960, 1815, 375},
    {"Label6", "", "其他主机:", 120, 1920, 975, 375},
    {"List1", "", "", 960, 1440, 5685, 1140},
    {"Text7", "", "", 960, 1440, 5655, 1095},
    {"Frame1", "", "设置区", 240, 2640, 1935, 3135},
    {"Label12", "Frame1", "扫描循环时间设置", 120, 240, 855, 375},
    {"Text8", "Frame1", "20", 840, 240, 495, 270},
    {"Label9", "Frame1", "秒", 1440, 240, 255, 255},
    {"Command7", "Frame1", "设置排除MAC", 1440, 600, 375, 1215},
    {"Label16", "Frame1", "选择IP", 120, 720, 975, 255},
    {"Combo1", "Frame1", "", 120, 960, 1185, 300},
    {"Label10", "Frame1", "扫描IP段", 120, 1320, 1095, 255},
    {"Text10", "Frame1", "1", 120, 1560, 375, 270},
    {"Label13", "Frame1", "至", 480, 1560, 255, 255},
    {"Text11", "Frame1", "255", 720, 1560, 495, 270},
    {"Label7", "Frame1", "迅雷5路径", 120, 1920, 1095, 255},
    {"Command5", "Frame1", "浏览", 1200, 1920, 615, 255},
    {"Text15", "Frame1", "", 120, 2160, 1695, 270},
    {"Text14", "Frame1", "", 1080, 2400, 735, 270},
    {"Label17", "Frame1", "迅雷关闭名", 120, 2520, 975, 255},
    {"Command3", "Frame1", "保存全部设置", 240, 2760, 1455, 255},
    {"Frame2", "", "设置排除MAC", 240, 2640, 1935, 3135},
    {"Text9(0)", "Frame2", "", 120, 240, 1695, 270},
    {"Text9(1)", "Frame2", "", 120, 480, 1695, 270},
    {"Text9(2)", "Frame2", "", 120, 720, 1695, 270},
    {"Text9(3)", "Frame2", "", 120, 960, 1695, 270},
    {"Text9(4)", "Frame2", "", 120, 1200, 1695, 270},
    {"Text9(5)", "Frame2", "", 120, 1440, 1695, 270},
    {"Text9(6)", "Frame2", "", 120, 1680, 1695, 270},
    {"Text9(7)", "Frame2", "", 120, 1920, 1695, 270},
    {"Text9(8)", "Frame2", "", 120, 2160, 1695, 270},
    {"Text9(9)", "Frame2", "", 120, 2400, 1695, 270},
    {"Command6", "Frame2", "返回设置区", 360, 2760, 1215, 300},
    {"Label11", "", "", 2400, 2760, 2175, 255},
    {"Label14", "", "停止中", 2400, 3240, 2535, 855},
    {"Label15", "", "未知", 2760, 4440, 1935, 855},
    {"Command1", "", "开始监视", 5040, 2760, 1575, 1935},
    {"Command2", "", "停止监视", 5040, 2760, 1575, 1935},
    {"Check1", "", "静音危险监视", 5160, 4800, 1455, 180},
    {"Check3", "", "静音安全监视", 5160, 5040, 1575, 180},
    {"Check4", "", "闪烁图标警示", 5160, 5280, 1575, 180},
    {"Check2", "", "监视下载", 5280, 5520, 1095, 180},
    {"Text12", "", "192.168.", 2400, 5400, 1455, 270},
    {"Command8", "", "取得主机名", 3840, 5400, 1095, 255},
    {"Command4", "", "最小化", 5520, 5760, 735, 375},
    {"Label8", "", nullptr, 240, 5880, 4935, 255},  // the credit line: its text is checked below
    {"Picture2", "", "", 4200, 0, 375, 375},
    {"Picture1", "", "", 4560, 0, 375, 375},
};

TEST_F(Form1Test, EveryControlStandsAtItsDesignPlaceWithItsText) {
    for (const Design& d : kInventory) {
        SCOPED_TRACE(d.name);
        auto* w = form->findChild<QWidget*>(QString::fromUtf8(d.name));
        ASSERT_NE(w, nullptr);
        QWidget* container = *d.in ? form->findChild<QWidget*>(QString::fromUtf8(d.in)) : form;
        EXPECT_EQ(w->parentWidget(), container);
        EXPECT_EQ(w->geometry(), QRect(d.left / 15, d.top / 15, d.width / 15, d.height / 15));
        if (d.text != nullptr) EXPECT_EQ(TextOf(w), QString::fromUtf8(d.text));
    }
    // The members are the controls the names promise.
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(form->Text9[k]->objectName(), QStringLiteral("Text9(%1)").arg(k));
        EXPECT_EQ(form->Text9[k]->geometry().top(), 240 * (k + 1) / 15);
    }
    EXPECT_EQ(form->Label8->objectName(), "Label8");
    EXPECT_FALSE(form->Label8->text().isEmpty());
    EXPECT_LE(form->Label8->fontMetrics().horizontalAdvance(form->Label8->text()),
              form->Label8->width());
}

TEST_F(Form1Test, StartsIdleWithTheSettingsPanelAndItsDefaults) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral("路由器使用监视器 "));
    EXPECT_EQ(form->size(), QSize(446, 418));
    EXPECT_TRUE(form->Frame1->isVisibleTo(form));
    EXPECT_FALSE(form->Frame2->isVisibleTo(form));
    EXPECT_FALSE(form->List1->isVisibleTo(form));
    EXPECT_TRUE(form->Text7->isVisibleTo(form));
    EXPECT_FALSE(form->Picture1->isVisibleTo(form));
    EXPECT_FALSE(form->Picture2->isVisibleTo(form));
    EXPECT_FALSE(form->Picture1->pixmap().isNull());
    EXPECT_FALSE(form->Picture2->pixmap().isNull());
    EXPECT_TRUE(form->Check1->isChecked());
    EXPECT_TRUE(form->Check3->isChecked());
    EXPECT_FALSE(form->Check4->isChecked());
    EXPECT_FALSE(form->Check2->isChecked());
    EXPECT_TRUE(form->Check2->isEnabled());
    for (QTimer* t : {form->Timer1, form->Timer2}) {
        EXPECT_FALSE(t->isActive());
        EXPECT_EQ(t->interval(), 0);
    }
    for (QLineEdit* t :
         {form->Text1, form->Text2, form->Text3, form->Text4, form->Text5, form->Text6}) {
        EXPECT_TRUE(t->isReadOnly()) << t->objectName().toStdString();
    }
    for (QLineEdit* t : {form->Text7, form->Text8, form->Text10, form->Text11, form->Text12,
                         form->Text14, form->Text15, form->Text9[0]}) {
        EXPECT_FALSE(t->isReadOnly()) << t->objectName().toStdString();
        EXPECT_EQ(t->maxLength(), 32767) << t->objectName().toStdString();
    }
    EXPECT_FALSE(form->Combo1->isEditable());
    EXPECT_EQ(monitor->state.stopjiankong, 0);
    EXPECT_EQ(monitor->state.kiki, 0);
    EXPECT_EQ(monitor->state.ki, 0);
    EXPECT_EQ(monitor->state.qidong, 0);
    EXPECT_FALSE(form->windowIcon().isNull());
}

TEST_F(Form1Test, FrontControlsCoverTheirBackdrops) {
    form->show();
    const QPoint buttonCentre = form->Command1->geometry().center();
    EXPECT_EQ(form->childAt(buttonCentre), form->Command1);
    form->Command1->hide();
    EXPECT_EQ(form->childAt(buttonCentre), form->Command2);

    const QPoint listCentre = form->Text7->geometry().center();
    EXPECT_TRUE(form->childAt(listCentre) == form->Text7);
    form->List1->show();
    QWidget* hit = form->childAt(listCentre);
    EXPECT_TRUE(hit == form->List1 || form->List1->isAncestorOf(hit));
}

TEST_F(Form1Test, TabWalksTheDesignOrderSkippingHiddenControls) {
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    EXPECT_EQ(QApplication::focusWidget(), form->Command1);

    const std::vector<QWidget*> expected{
        form->Text1,    form->Text2,    form->Text3,    form->Text4,    form->Text5,
        form->Text6,    form->Text8,    form->Text10,   form->Text11,   form->Command2,
        form->Check1,   form->Command3, form->Command4, form->Check2,   form->Text7,
        form->Check3,   form->Command5, form->Text15,   form->Combo1,   form->Text14,
        form->Command7, form->Check4,   form->Text12,   form->Command8, form->Command1};
    for (QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next)
            << "expected " << next->objectName().toStdString() << ", got "
            << QApplication::focusWidget()->objectName().toStdString();
    }

    // With the excluded-MAC panel up, its boxes take their places and the
    // settings panel's controls drop out.
    form->Command7Click();
    form->Command1->setFocus();
    std::vector<QWidget*> seen;
    for (int i = 0; i < 26; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen.push_back(QApplication::focusWidget());
    }
    std::vector<QWidget*> panel{form->Text1,    form->Text2,  form->Text3,    form->Text4,
                                form->Text5,    form->Text6,  form->Command2, form->Check1,
                                form->Command4, form->Check2, form->Text7,    form->Check3};
    panel.insert(panel.end(), form->Text9.begin(), form->Text9.end());
    panel.insert(panel.end(), {form->Command6, form->Check4, form->Text12, form->Command8});
    EXPECT_EQ(seen, panel);
}

TEST_F(Form1Test, LargeLabelsUseSongAndTheStartStopButtonsKai) {
    for (QLabel* l : {form->Label14, form->Label15}) {
        EXPECT_EQ(l->font().family(), QStringLiteral("宋体"));
        EXPECT_EQ(l->font().pixelSize(), 56);  // 42 pt at the 96 dpi of the design
        EXPECT_FALSE(l->font().bold());
        EXPECT_TRUE(SongFaces().contains(QFontInfo(l->font()).family()))
            << QFontInfo(l->font()).family().toStdString();
    }
    for (QPushButton* b : {form->Command1, form->Command2}) {
        EXPECT_EQ(b->font().family(), QStringLiteral("楷体_GB2312"));
        EXPECT_EQ(b->font().pixelSize(), 19);  // 14.25 pt at 96 dpi
        EXPECT_TRUE(b->font().bold());
        EXPECT_TRUE(KaiFaces().contains(QFontInfo(b->font()).family()))
            << QFontInfo(b->font()).family().toStdString();
    }
    // The big captions fit their labels.
    EXPECT_LE(form->Label14->fontMetrics().horizontalAdvance(QStringLiteral("停止中")),
              form->Label14->width());
    EXPECT_LE(form->Label15->fontMetrics().horizontalAdvance(QStringLiteral("危险")),
              form->Label15->width());
}

TEST_F(Form1Test, StartPresetsTheTickCounterAndStartsTheScanTimer) {
    monitor->state.stopjiankong = 1;
    form->Text12->setText(QStringLiteral("10.0.0.7"));
    form->Text8->setText(QStringLiteral("20"));
    QTest::mouseClick(form->Command1, Qt::LeftButton);

    EXPECT_EQ(monitor->state.kiki, 20);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->Timer1->interval(), 100);
    EXPECT_EQ(form->Text12->text(), QStringLiteral("192.168."));
    // Nothing else: the flag, the labels and the buttons stay as they were.
    EXPECT_EQ(monitor->state.stopjiankong, 1);
    EXPECT_EQ(form->Label14->text(), QStringLiteral("停止中"));
    EXPECT_TRUE(form->Command1->isVisibleTo(form));
    EXPECT_TRUE(form->Check2->isEnabled());
    // The timer's tick reaches the cycle: the counter equals the period, a scan
    // runs and resets it, and the pending stop is carried out at its end.
    EXPECT_TRUE(WaitFor([&] { return monitor->state.kiki == 0; }));
    EXPECT_TRUE(WaitFor([&] { return !form->Timer1->isActive(); }));
    EXPECT_EQ(monitor->state.stopjiankong, 0);
}

TEST_F(Form1Test, EnterOnTheFocusedStartButtonStarts) {
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        SCOPED_TRACE(key);
        form->Timer1->stop();
        monitor->state.kiki = 0;
        form->Text8->setText(QStringLiteral("20"));
        form->Command1->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), form->Command1);
        QTest::keyClick(QApplication::focusWidget(), key);
        EXPECT_EQ(monitor->state.kiki, 20);
        EXPECT_TRUE(form->Timer1->isActive());
        EXPECT_EQ(form->Timer1->interval(), 100);
    }
    form->Timer1->stop();
}

TEST_F(Form1Test, StopOnlyRaisesTheFlagEvenWhileIdle) {
    QTest::keyClick(form->Command2, Qt::Key_Space);
    EXPECT_EQ(monitor->state.stopjiankong, 1);
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(form->Label14->text(), QStringLiteral("停止中"));
    EXPECT_TRUE(form->Command1->isVisibleTo(form));
}

TEST_F(Form1Test, BrowseFillsThePathEvenAfterACancel) {
    fileDialog.next = "";
    form->Text15->setText(QStringLiteral("/old/thunder"));
    QTest::mouseClick(form->Command5, Qt::LeftButton);
    EXPECT_EQ(fileDialog.shown, 1);
    EXPECT_EQ(form->Text15->text(), QString());

    fileDialog.next = "/opt/迅雷/Thunder.exe";
    QTest::mouseClick(form->Command5, Qt::LeftButton);
    EXPECT_EQ(form->Text15->text(), QStringLiteral("/opt/迅雷/Thunder.exe"));
}

TEST_F(Form1Test, PanelsSwitchAndKeepTheirTexts) {
    QTest::mouseClick(form->Command7, Qt::LeftButton);
    EXPECT_FALSE(form->Frame1->isVisibleTo(form));
    EXPECT_TRUE(form->Frame2->isVisibleTo(form));
    form->Text9[3]->setText(QStringLiteral("00-11-22-33-44-55"));
    QTest::mouseClick(form->Command6, Qt::LeftButton);
    EXPECT_TRUE(form->Frame1->isVisibleTo(form));
    EXPECT_FALSE(form->Frame2->isVisibleTo(form));
    EXPECT_EQ(form->Text9[3]->text(), QStringLiteral("00-11-22-33-44-55"));
}

TEST_F(Form1Test, HostNameToolReplacesTheTypedAddress) {
    const uint8_t host[4] = {192, 168, 1, 7};
    uint32_t value;
    std::memcpy(&value, host, 4);
    sockets.names[value] = "  nas.home  ";

    form->Text12->setText(QStringLiteral("192.168.1.7"));
    QTest::mouseClick(form->Command8, Qt::LeftButton);
    EXPECT_EQ(form->Text12->text(), QStringLiteral("nas.home"));
    EXPECT_EQ(sockets.lookups, 1);

    // No name, or the default text that is no address: the box empties silently.
    form->Text12->setText(QStringLiteral("192.168."));
    monitor->Command8Click();
    EXPECT_EQ(form->Text12->text(), QString());
    EXPECT_TRUE(messages.shown.empty());

    // A socket library that cannot start: its message, and the box emptied.
    sockets.startupResult = 10091;
    form->Text12->setText(QStringLiteral("192.168.1.7"));
    monitor->Command8Click();
    EXPECT_EQ(form->Text12->text(), QString());
    ASSERT_EQ(messages.shown.size(), 1u);
}

TEST_F(Form1Test, SaveButtonAndCloseReachTheirOwners) {
    QTest::mouseClick(form->Command3, Qt::LeftButton);
    EXPECT_EQ(settings.saves.size(), 1u);

    QSignalSpy closing(form, &Form1::closing);
    form->show();
    form->close();
    EXPECT_EQ(closing.count(), 1);
    EXPECT_EQ(clock.ended, 1);  // the close reached the logic, which ends the program
}

TEST_F(Form1Test, ResizingMovesNothing) {
    form->show();
    const QRect before = form->Command4->geometry();
    form->resize(800, 600);
    QApplication::processEvents();
    EXPECT_EQ(form->Command4->geometry(), before);
    EXPECT_EQ(form->Frame1->geometry(), QRect(16, 176, 129, 209));
}

TEST_F(Form1Test, LabelColoursFollowTheVerdict) {
    // No verdict yet: "未知" already in the button-text colour, on a desktop
    // theme where that differs from the plain text colour too.
    const QPalette saved = QApplication::palette();
    QPalette themed = saved;
    themed.setColor(QPalette::ButtonText, QColor(10, 20, 200));
    QApplication::setPalette(themed);
    {
        Form1 fresh(*monitor);
        EXPECT_EQ(fresh.Label15->palette().color(QPalette::WindowText), QColor(10, 20, 200));
    }
    QApplication::setPalette(saved);
    // The logic's three colours: pure red, pure green, the button text.
    const auto colour = [&] { return form->Label15->palette().color(QPalette::WindowText); };
    form->SetColour(Control::Label15, LabelColour::Red);
    EXPECT_EQ(colour(), QColor(255, 0, 0));
    form->SetColour(Control::Label15, LabelColour::Green);
    EXPECT_EQ(colour(), QColor(0, 255, 0));
    form->SetColour(Control::Label15, LabelColour::ButtonText);
    EXPECT_EQ(colour(), QApplication::palette().color(QPalette::ButtonText));

    // And the verdicts reach the label so.
    form->Check1->setCheckState(Qt::Checked);
    ReactToOthersFound(*monitor);
    EXPECT_EQ(form->Label15->text(), QStringLiteral("危险"));
    EXPECT_EQ(colour(), QColor(255, 0, 0));
}

TEST_F(Form1Test, EveryAlarmRestartsTheFlashRhythm) {
    form->Check4->setCheckState(Qt::Checked);
    ReactToOthersFound(*monitor);
    QTest::qWait(600);
    ReactToOthersFound(*monitor);
    EXPECT_TRUE(form->Timer2->isActive());
    EXPECT_EQ(form->Timer2->interval(), 1000);
    EXPECT_GT(form->Timer2->remainingTime(), 700);
    form->Timer2->stop();
}

// The host list and the network choice as the logic fills and reads them.
TEST_F(Form1Test, ListsKeepTheirOrderThroughTheWindowInterface) {
    // Answers arrive in any order; entries stand in host order, after entries
    // without a host number.
    form->AddItem(Control::List1, "note");
    form->AddHostEntry(30, "192.168.1.30  00-11-22-33-44-30");
    form->AddHostEntry(4, "192.168.1.4  00-11-22-33-44-04");
    form->AddHostEntry(200, "192.168.1.200  00-11-22-33-44-C8");
    EXPECT_EQ(Entries(),
              (QStringList{"note", "192.168.1.4  00-11-22-33-44-04",
                           "192.168.1.30  00-11-22-33-44-30", "192.168.1.200  00-11-22-33-44-C8"}));

    form->List1->clear();
    form->List1->addItems({"a-X", "b", "X-c", "d", "X"});
    RemoveEntriesContaining(*form, "X");
    EXPECT_EQ(Entries(), (QStringList{"b", "d"}));
    RemoveEntriesContaining(*form, "B");  // case-sensitive
    EXPECT_EQ(form->List1->count(), 2);

    addresses.SetAddresses({"192.168.1.20", "10.0.0.9"});
    ListLocalPrefixes(addresses, *form);
    EXPECT_EQ(form->Combo1->count(), 2);
    EXPECT_EQ(form->Combo1->currentText(), QStringLiteral("192.168.1."));
    form->Combo1->setCurrentIndex(1);  // the user picks the other network
    EXPECT_EQ(form->Text(Control::Combo1), "10.0.0.");
    ListLocalPrefixes(addresses, *form);  // refilled: the first entry again
    EXPECT_EQ(form->Combo1->count(), 2);
    EXPECT_EQ(form->Combo1->currentIndex(), 0);
}

}  // namespace
}  // namespace rm
