// Form1: builds every control of the window at its design place (twips / 15 =
// pixels), wires the buttons, the timers and the pointer to the logic's
// handlers, and reads and writes its controls for the logic.
#include "gui/qt/Form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionButton>
#include <QVector>
#include <utility>

#include "gui/qt/Icons.h"

namespace rm {

namespace {

// A button whose caption wraps inside it: Command7 is tall and narrow, and its caption runs down
// the button.
class WrappingButton : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QString caption = option.text;
        option.text.clear();
        style()->drawControl(QStyle::CE_PushButton, &option, &painter, this);
        const QRect area = rect().adjusted(2, 2, -2, -2);
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::ButtonText));
        // Ideographs break anywhere, a Latin word stays whole while it fits.
        int flags = Qt::AlignCenter | Qt::TextWordWrap;
        if (painter.boundingRect(area, flags, caption).width() > area.width()) {
            flags = Qt::AlignCenter | Qt::TextWrapAnywhere;
        }
        painter.drawText(area, flags, caption);
    }
};

// Places a control at its design rectangle, given in twips.
template <typename W>
W* Place(W* widget, int left, int top, int width, int height) {
    widget->setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                        TwipsToPixels(height));
    return widget;
}

// Labels of the original draw their caption from the top-left corner.
QLabel* MakeLabel(const QString& name, const QString& text, QWidget* in) {
    auto* label = new QLabel(text, in);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QLineEdit* MakeText(const QString& name, const QString& text, QWidget* in, bool readOnly = false) {
    auto* box = new QLineEdit(text, in);
    box->setObjectName(name);
    box->setReadOnly(readOnly);
    return box;
}

QPushButton* MakeButton(const QString& name, const QString& text, QWidget* in) {
    auto* button = new QPushButton(text, in);
    button->setObjectName(name);
    // Enter presses the focused button, as Space does (QPushButton answers Enter
    // only when auto-default; in a plain window that is all the flag changes).
    button->setAutoDefault(true);
    return button;
}

QCheckBox* MakeCheck(const QString& name, const QString& text, QWidget* in, bool ticked) {
    auto* box = new QCheckBox(text, in);
    box->setObjectName(name);
    box->setChecked(ticked);
    // The boxes are 12 px high; the style's 13 px indicator would be clipped.
    box->setStyleSheet(QStringLiteral("QCheckBox::indicator { width: 10px; height: 10px; }"));
    return box;
}

// A font of the design, given in points. The window is laid out in pixels at 96
// dpi, so its fonts are sized at that same scale: a display reporting another
// dpi then keeps every caption inside its control.
QFont DesignFont(const QString& family, double points, bool bold = false) {
    QFont font(family);
    font.setPixelSize(qRound(points * 96.0 / 72.0));
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    return font;
}

QFont LargeLabelFont() {
    return DesignFont(QStringLiteral("宋体"), 42);
}
QFont StartStopFont() {
    return DesignFont(QStringLiteral("楷体_GB2312"), 14.25, true);
}

}  // namespace

Form1::Form1(Form1Events& events, QWidget* parent) : QWidget(parent), events_(events) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("路由器使用监视器 "));
    setWindowIcon(IconImage(IconId::Window));
    // The window's default font: the Song face at 9 pt, as its design used.
    setFont(DesignFont(QStringLiteral("宋体"), 9));
    resize(TwipsToPixels(6690), TwipsToPixels(6270));
    move(TwipsToPixels(6345), TwipsToPixels(3795));
    setMouseTracking(true);

    CreateAddressGrid();
    CreateHostList();
    CreateSettingsPanel();
    CreateExcludedMacPanel();
    CreateStatusAndButtons();
    CreateHiddenControls();
    SetTabOrder();
    Command1->setFocus();

    connect(Command1, &QPushButton::clicked, this, [this] { events_.Command1Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { events_.Command2Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { events_.Command3Click(); });
    connect(Command4, &QPushButton::clicked, this, [this] { events_.Command4Click(); });
    connect(Command5, &QPushButton::clicked, this, [this] { events_.Command5Click(); });
    connect(Command6, &QPushButton::clicked, this, [this] { Command6Click(); });
    connect(Command7, &QPushButton::clicked, this, [this] { Command7Click(); });
    connect(Command8, &QPushButton::clicked, this, [this] { events_.Command8Click(); });
    connect(Timer1, &QTimer::timeout, this, [this] { events_.Timer1Tick(); });
    connect(Timer2, &QTimer::timeout, this, [this] { events_.Timer2Tick(); });
}

Form1::~Form1() = default;

void Form1::CreateAddressGrid() {
    Label3 = Place(MakeLabel("Label3", QStringLiteral("MAC"), this), 1680, 120, 495, 255);
    Label1 = Place(MakeLabel("Label1", QStringLiteral("IP"), this), 3480, 120, 615, 255);
    Label4 = Place(MakeLabel("Label4", QStringLiteral("主机名"), this), 5280, 120, 735, 255);
    Label2 = Place(MakeLabel("Label2", QStringLiteral("路由器:"), this), 240, 480, 1215, 375);
    Text1 = Place(MakeText("Text1", QStringLiteral("Text1"), this, true), 960, 480, 1815, 375);
    Text2 = Place(MakeText("Text2", QStringLiteral("Text2"), this, true), 2880, 480, 1815, 375);
    Text3 = Place(MakeText("Text3", QStringLiteral("Text3"), this, true), 4800, 480, 1815, 375);
    Label5 = Place(MakeLabel("Label5", QStringLiteral("本  机:"), this), 240, 960, 735, 375);
    Text4 = Place(MakeText("Text4", QStringLiteral("Text4"), this, true), 960, 960, 1815, 375);
    Text5 = Place(MakeText("Text5", QStringLiteral("Text5"), this, true), 2880, 960, 1815, 375);
    Text6 = Place(MakeText("Text6", QStringLiteral("Text6"), this, true), 4800, 960, 1815, 375);
}

void Form1::CreateHostList() {
    Label6 = Place(MakeLabel("Label6", QStringLiteral("其他主机:"), this), 120, 1920, 975, 375);
    Text7 = Place(MakeText("Text7", QString(), this), 960, 1440, 5655, 1095);
    List1 = Place(new QListWidget(this), 960, 1440, 5685, 1140);
    List1->setObjectName(QStringLiteral("List1"));
    List1->raise();  // in front of its backdrop Text7
    List1->hide();
}

void Form1::CreateSettingsPanel() {
    Frame1 = Place(new QGroupBox(QStringLiteral("设置区"), this), 240, 2640, 1935, 3135);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    QWidget* f = Frame1;
    Label12 =
        Place(MakeLabel("Label12", QStringLiteral("扫描循环时间设置"), f), 120, 240, 855, 375);
    Label12->setWordWrap(true);
    Text8 = Place(MakeText("Text8", QStringLiteral("20"), f), 840, 240, 495, 270);
    Label9 = Place(MakeLabel("Label9", QStringLiteral("秒"), f), 1440, 240, 255, 255);
    Command7 = Place(new WrappingButton(QStringLiteral("设置排除MAC"), f), 1440, 600, 375, 1215);
    Command7->setObjectName(QStringLiteral("Command7"));
    Command7->setAutoDefault(true);
    Label16 = Place(MakeLabel("Label16", QStringLiteral("选择IP"), f), 120, 720, 975, 255);
    Combo1 = Place(new QComboBox(f), 120, 960, 1185, 300);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(false);  // the user picks a prefix, never types one
    Label10 = Place(MakeLabel("Label10", QStringLiteral("扫描IP段"), f), 120, 1320, 1095, 255);
    Text10 = Place(MakeText("Text10", QStringLiteral("1"), f), 120, 1560, 375, 270);
    Label13 = Place(MakeLabel("Label13", QStringLiteral("至"), f), 480, 1560, 255, 255);
    Text11 = Place(MakeText("Text11", QStringLiteral("255"), f), 720, 1560, 495, 270);
    Label7 = Place(MakeLabel("Label7", QStringLiteral("迅雷5路径"), f), 120, 1920, 1095, 255);
    Command5 = Place(MakeButton("Command5", QStringLiteral("浏览"), f), 1200, 1920, 615, 255);
    Text15 = Place(MakeText("Text15", QString(), f), 120, 2160, 1695, 270);
    Text14 = Place(MakeText("Text14", QString(), f), 1080, 2400, 735, 270);
    Label17 = Place(MakeLabel("Label17", QStringLiteral("迅雷关闭名"), f), 120, 2520, 975, 255);
    Command3 =
        Place(MakeButton("Command3", QStringLiteral("保存全部设置"), f), 240, 2760, 1455, 255);
}

void Form1::CreateExcludedMacPanel() {
    Frame2 = Place(new QGroupBox(QStringLiteral("设置排除MAC"), this), 240, 2640, 1935, 3135);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    for (int k = 0; k < 10; ++k) {
        Text9[k] = Place(MakeText(QStringLiteral("Text9(%1)").arg(k), QString(), Frame2), 120,
                         240 * (k + 1), 1695, 270);
    }
    Command6 =
        Place(MakeButton("Command6", QStringLiteral("返回设置区"), Frame2), 360, 2760, 1215, 300);
    Frame2->hide();
}

void Form1::CreateStatusAndButtons() {
    Label11 = Place(MakeLabel("Label11", QString(), this), 2400, 2760, 2175, 255);
    Label14 = Place(MakeLabel("Label14", QStringLiteral("停止中"), this), 2400, 3240, 2535, 855);
    Label14->setFont(LargeLabelFont());
    Label15 = Place(MakeLabel("Label15", QStringLiteral("未知"), this), 2760, 4440, 1935, 855);
    Label15->setFont(LargeLabelFont());
    // "未知" is the no-verdict text, shown in the button-text colour from the start.
    SetLabelColour(Label15, ButtonTextColour());

    Command2 =
        Place(MakeButton("Command2", QStringLiteral("停止监视"), this), 5040, 2760, 1575, 1935);
    Command2->setFont(StartStopFont());
    Command1 =
        Place(MakeButton("Command1", QStringLiteral("开始监视"), this), 5040, 2760, 1575, 1935);
    Command1->setFont(StartStopFont());
    Command1->raise();  // in front of Command2, which shows only while Command1 is hidden

    Check1 = Place(MakeCheck("Check1", QStringLiteral("静音危险监视"), this, true), 5160, 4800,
                   1455, 180);
    Check3 = Place(MakeCheck("Check3", QStringLiteral("静音安全监视"), this, true), 5160, 5040,
                   1575, 180);
    Check4 = Place(MakeCheck("Check4", QStringLiteral("闪烁图标警示"), this, false), 5160, 5280,
                   1575, 180);
    Check2 =
        Place(MakeCheck("Check2", QStringLiteral("监视下载"), this, false), 5280, 5520, 1095, 180);

    Text12 = Place(MakeText("Text12", QStringLiteral("192.168."), this), 2400, 5400, 1455, 270);
    Command8 =
        Place(MakeButton("Command8", QStringLiteral("取得主机名"), this), 3840, 5400, 1095, 255);
    Command4 = Place(MakeButton("Command4", QStringLiteral("最小化"), this), 5520, 5760, 735, 375);
    Label8 =
        Place(MakeLabel("Label8", QStringLiteral("有人上网时自动停下迅雷，网络空闲时再开启"), this),
              240, 5880, 4935, 255);
}

void Form1::CreateHiddenControls() {
    Picture2 = Place(MakeLabel("Picture2", QString(), this), 4200, 0, 375, 375);
    Picture2->setPixmap(IconImage(IconId::Picture2).pixmap(24, 24));
    Picture2->hide();
    Picture1 = Place(MakeLabel("Picture1", QString(), this), 4560, 0, 375, 375);
    Picture1->setPixmap(IconImage(IconId::Picture1).pixmap(24, 24));
    Picture1->hide();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(0);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(0);
}

// The focus order of the design's tab indexes; labels and frames hold places in
// it but never take the focus, so only the controls that can are chained here.
void Form1::SetTabOrder() {
    QVector<QWidget*> order{
        Command1,  // 0
        Text1,     // 3
        Text2,     // 5
        Text3,     // 7
        Text4,     // 9
        Text5,     // 10
        Text6,     // 11
        Text8,     // 17
        Text10,    // 20
        Text11,    // 21
        Command2,  // 25
        Check1,    // 26
        Command3,  // 27
        Command4,  // 28
        Check2,    // 29
        List1,     // 31
        Text7,     // 33
        Check3,    // 34
        Command5,  // 35
        Text15,    // 36
        Combo1,    // 37
        Text9[0],  // 39
        Text9[1],  // 40
        Text9[2],  // 41
        Text9[3],  // 42
        Text9[4],  // 43
        Text9[5],  // 44
        Text9[6],  // 45
        Text9[7],  // 46
        Text9[8],  // 47
        Text9[9],  // 48
        Command6,  // 49
        Text14,    // 50
        Command7,  // 52
        Check4,    // 55
        Text12,    // 56
        Command8,  // 57
    };
    for (int i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void Form1::Command6Click() {
    Frame1->setVisible(true);
    Frame2->setVisible(false);
}

void Form1::Command7Click() {
    Frame1->setVisible(false);
    Frame2->setVisible(true);
}

void Form1::closeEvent(QCloseEvent* event) {
    emit closing();
    events_.FormUnload();
    event->accept();
}

void Form1::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    events_.OnTrayCallback(int(event->buttons()), int(event->modifiers()), float(at.x() * 15),
                           float(at.y() * 15));
    QWidget::mouseMoveEvent(event);
}

void SetLabelColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

QColor ButtonTextColour() {
    return QApplication::palette().color(QPalette::ButtonText);
}

}  // namespace rm
