// Modal message boxes with the original style words, captioned with the
// application title.
#include <QMessageBox>
#include <QWidget>

#include "gui/qt/QtFrontEnd.h"

namespace rm {

namespace {

class QtMessageBoxes : public MessageBoxes {
  public:
    explicit QtMessageBoxes(ParentFn parent) : parent_(std::move(parent)) {}

    void Show(const std::string& text, int style) override {
        // The low nibble picks the buttons (only OK is used), 16/32/48/64 the icon.
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        switch (style & 0xF0) {
            case 16:
                icon = QMessageBox::Critical;
                break;
            case 32:
                icon = QMessageBox::Question;
                break;
            case 48:
                icon = QMessageBox::Warning;
                break;
            case 64:
                icon = QMessageBox::Information;
                break;
            default:
                break;
        }
        QMessageBox box(icon, QStringLiteral("Orla网监视"), QString::fromStdString(text),
                        QMessageBox::Ok, parent_());
        box.exec();
    }

  private:
    ParentFn parent_;
};

}  // namespace

std::unique_ptr<MessageBoxes> MakeQtMessageBoxes(ParentFn parent) {
    return std::make_unique<QtMessageBoxes>(std::move(parent));
}

}  // namespace rm
