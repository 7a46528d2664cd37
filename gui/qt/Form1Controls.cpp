// Form1 as Form1Controls: the logic's reads and writes of the controls, by name.
#include <QString>

#include "gui/qt/Form1.h"

namespace rm {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

QWidget* Form1::Widget(Control c) {
    switch (c) {
        case Control::Text1:
            return Text1;
        case Control::Text2:
            return Text2;
        case Control::Text3:
            return Text3;
        case Control::Text4:
            return Text4;
        case Control::Text5:
            return Text5;
        case Control::Text6:
            return Text6;
        case Control::Text7:
            return Text7;
        case Control::Text8:
            return Text8;
        case Control::Text10:
            return Text10;
        case Control::Text11:
            return Text11;
        case Control::Text12:
            return Text12;
        case Control::Text14:
            return Text14;
        case Control::Text15:
            return Text15;
        case Control::Label11:
            return Label11;
        case Control::Label14:
            return Label14;
        case Control::Label15:
            return Label15;
        case Control::List1:
            return List1;
        case Control::Combo1:
            return Combo1;
        case Control::Check1:
            return Check1;
        case Control::Check2:
            return Check2;
        case Control::Check3:
            return Check3;
        case Control::Check4:
            return Check4;
        case Control::Command1:
            return Command1;
        case Control::Command2:
            return Command2;
        default:
            break;
    }
    const int k = int(c) - int(Control::Text9_0);
    return k >= 0 && k < 10 ? Text9[size_t(k)] : nullptr;
}

QTimer* Form1::TimerOf(Control c) {
    return c == Control::Timer1 ? Timer1 : c == Control::Timer2 ? Timer2 : nullptr;
}

std::string Form1::Text(Control c) {
    QWidget* w = Widget(c);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
    if (auto* b = qobject_cast<QComboBox*>(w)) return b->currentText().toStdString();
    return {};
}

void Form1::SetText(Control c, const std::string& text) {
    QWidget* w = Widget(c);
    if (auto* e = qobject_cast<QLineEdit*>(w)) e->setText(Q(text));
    if (auto* l = qobject_cast<QLabel*>(w)) l->setText(Q(text));
}

int Form1::MaxLength(Control c) {
    auto* e = qobject_cast<QLineEdit*>(Widget(c));
    return e ? e->maxLength() : 0;
}

bool Form1::Visible(Control c) {
    QWidget* w = Widget(c);
    return w && !w->isHidden();
}

void Form1::SetVisible(Control c, bool visible) {
    if (QWidget* w = Widget(c)) w->setVisible(visible);
}

void Form1::SetEnabled(Control c, bool enabled) {
    if (QWidget* w = Widget(c)) w->setEnabled(enabled);
}

CheckState Form1::Check(Control c) {
    auto* box = qobject_cast<QCheckBox*>(Widget(c));
    if (!box) return CheckState::Unticked;
    switch (box->checkState()) {
        case Qt::Checked:
            return CheckState::Ticked;
        case Qt::PartiallyChecked:
            return CheckState::Greyed;
        default:
            return CheckState::Unticked;
    }
}

void Form1::SetColour(Control c, LabelColour colour) {
    auto* label = qobject_cast<QLabel*>(Widget(c));
    if (!label) return;
    SetLabelColour(label, colour == LabelColour::Red     ? QColor(255, 0, 0)
                          : colour == LabelColour::Green ? QColor(0, 255, 0)
                                                         : ButtonTextColour());
}

void Form1::SetToolTip(Control c, const std::string& text) {
    if (QWidget* w = Widget(c)) w->setToolTip(QString::fromStdString(text));
}

int Form1::ItemCount(Control c) {
    if (c == Control::List1) return List1->count();
    if (c == Control::Combo1) return Combo1->count();
    return 0;
}

std::string Form1::ItemText(Control c, int index) {
    if (c == Control::List1 && index >= 0 && index < List1->count())
        return List1->item(index)->text().toStdString();
    if (c == Control::Combo1) return Combo1->itemText(index).toStdString();
    return {};
}

void Form1::AddItem(Control c, const std::string& text) {
    if (c == Control::List1) List1->addItem(Q(text));
    if (c == Control::Combo1) Combo1->addItem(Q(text));
}

void Form1::RemoveItem(Control c, int index) {
    if (c == Control::List1 && index >= 0 && index < List1->count()) delete List1->takeItem(index);
    if (c == Control::Combo1) Combo1->removeItem(index);
}

void Form1::ClearItems(Control c) {
    if (c == Control::List1) List1->clear();
    if (c == Control::Combo1) Combo1->clear();
}

int Form1::ListIndex(Control c) {
    return c == Control::Combo1 ? Combo1->currentIndex() : -1;
}

void Form1::SetListIndex(Control c, int index) {
    if (c == Control::Combo1) Combo1->setCurrentIndex(index);
}

void Form1::SetInterval(Control c, int ms) {
    if (QTimer* t = TimerOf(c)) t->setInterval(ms);
}

// Enabling a running timer starts its interval again, as the original's does.
void Form1::SetTimerEnabled(Control c, bool enabled) {
    QTimer* t = TimerOf(c);
    if (!t) return;
    if (enabled)
        t->start();
    else
        t->stop();
}

void Form1::ShowWindow() {
    // A window minimised while there was no tray comes back as well.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
}

void Form1::HideWindow() {
    if (trayAvailable())
        hide();
    else
        showMinimized();
}

void Form1::AddHostEntry(int host, const std::string& line) {
    // Answers arrive in any order; the list reads best in host order.
    int row = List1->count();
    while (row > 0) {
        const QVariant v = List1->item(row - 1)->data(kHostNumberRole);
        if (!v.isValid() || v.toInt() < host) break;
        --row;
    }
    auto* item = new QListWidgetItem(Q(line));
    item->setData(kHostNumberRole, host);
    List1->insertItem(row, item);
}

}  // namespace rm
