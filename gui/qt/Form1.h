// Form1, the program's only window: the settings editor, the status display and
// the control panel of the monitor. Every setting is the text or state of one of
// its controls. Controls keep their design names; the logic reaches them through
// Form1Controls and hears of clicks, ticks and the close through Form1Events.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "core/Form1Controls.h"

namespace rm {

class Form1 : public QWidget, public Form1Controls {
    Q_OBJECT
  public:
    explicit Form1(Form1Events& events, QWidget* parent = nullptr);
    ~Form1() override;

    // Address grid.
    QLabel *Label3, *Label1, *Label4, *Label2, *Label5;
    QLineEdit *Text1, *Text2, *Text3, *Text4, *Text5, *Text6;
    // Host list.
    QLabel* Label6;
    QListWidget* List1;
    QLineEdit* Text7;
    // Settings panel.
    QGroupBox* Frame1;
    QLabel *Label12, *Label9, *Label16, *Label10, *Label13, *Label7, *Label17;
    QLineEdit *Text8, *Text10, *Text11, *Text15, *Text14;
    QPushButton *Command7, *Command5, *Command3;
    QComboBox* Combo1;
    // Excluded-MAC panel.
    QGroupBox* Frame2;
    std::array<QLineEdit*, 10> Text9;
    QPushButton* Command6;
    // Status, verdict, buttons, check boxes, host-name tool, credit line.
    QLabel *Label11, *Label14, *Label15, *Label8;
    QPushButton *Command1, *Command2, *Command8, *Command4;
    QCheckBox *Check1, *Check3, *Check4, *Check2;
    QLineEdit* Text12;
    // Hidden picture boxes holding the two red icons.
    QLabel *Picture2, *Picture1;
    // Timers: Timer1 runs the monitor cycle, Timer2 flashes the tray icon.
    QTimer *Timer1, *Timer2;

    // Handlers of the window's own buttons: the two panels take turns.
    void Command6Click();
    void Command7Click();

    // Whether a tray takes the window that 最小化 hides; without one the window
    // is minimised to the taskbar instead, or nothing could bring it back.
    std::function<bool()> trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };

    // Role of the host number kept on each entry of List1: entries are kept in host order.
    static constexpr int kHostNumberRole = Qt::UserRole + 1;

    // Form1Controls.
    std::string Text(Control c) override;
    void SetText(Control c, const std::string& text) override;
    int MaxLength(Control c) override;
    bool Visible(Control c) override;
    void SetVisible(Control c, bool visible) override;
    void SetEnabled(Control c, bool enabled) override;
    CheckState Check(Control c) override;
    void SetColour(Control c, LabelColour colour) override;
    void SetToolTip(Control c, const std::string& text) override;
    int ItemCount(Control c) override;
    std::string ItemText(Control c, int index) override;
    void AddItem(Control c, const std::string& text) override;
    void RemoveItem(Control c, int index) override;
    void ClearItems(Control c) override;
    int ListIndex(Control c) override;
    void SetListIndex(Control c, int index) override;
    void SetInterval(Control c, int ms) override;
    void SetTimerEnabled(Control c, bool enabled) override;
    void ShowWindow() override;
    void HideWindow() override;
    void AddHostEntry(int host, const std::string& line) override;

  signals:
    void closing();

  protected:
    void closeEvent(QCloseEvent* event) override;
    // Pointer movement over the client area reaches OnTrayCallback, as on the original.
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    QWidget* Widget(Control c);
    QTimer* TimerOf(Control c);

    Form1Events& events_;

    void CreateAddressGrid();
    void CreateHostList();
    void CreateSettingsPanel();
    void CreateExcludedMacPanel();
    void CreateStatusAndButtons();
    void CreateHiddenControls();
    void SetTabOrder();
};

// Twips of the window's design to pixels at 96 dpi.
constexpr int TwipsToPixels(int twips) {
    return twips / 15;
}

// "未知" is shown in the button-text colour, the verdicts in red and green.
void SetLabelColour(QLabel* label, const QColor& colour);
QColor ButtonTextColour();

}  // namespace rm
