// The open-file dialog of the browse button. Like the common-dialog control it
// remembers the last confirmed file name and reports it again after a cancel.
#include <QFileDialog>
#include <QPointer>
#include <QWidget>

#include "platform/linux/LinuxPlatform.h"

namespace rm {

namespace {

class QtFileDialog : public FileDialog {
  public:
    explicit QtFileDialog(QWidget* parent) : parent_(parent) {}

    QString ShowOpen() override {
        // No filter, no title and no initial folder of our own, as designed.
        const QString chosen = QFileDialog::getOpenFileName(parent_.data());
        if (!chosen.isEmpty()) fileName_ = chosen;
        return fileName_;
    }

  private:
    QPointer<QWidget> parent_;
    QString fileName_;
};

}  // namespace

std::unique_ptr<FileDialog> MakeQtFileDialog(QWidget* parent) {
    return std::make_unique<QtFileDialog>(parent);
}

}  // namespace rm
