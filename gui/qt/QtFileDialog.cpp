// The open-file dialog of the browse button. Like the common-dialog control it
// remembers the last confirmed file name and reports it again after a cancel.
#include <QFileDialog>
#include <QWidget>

#include "gui/qt/QtFrontEnd.h"

namespace rm {

namespace {

class QtFileDialog : public FileDialog {
  public:
    explicit QtFileDialog(ParentFn parent) : parent_(std::move(parent)) {}

    std::string ShowOpen() override {
        // No filter, no title and no initial folder of our own, as designed.
        const QString chosen = QFileDialog::getOpenFileName(parent_());
        if (!chosen.isEmpty()) fileName_ = chosen;
        return fileName_.toStdString();
    }

  private:
    ParentFn parent_;
    QString fileName_;
};

}  // namespace

std::unique_ptr<FileDialog> MakeQtFileDialog(ParentFn parent) {
    return std::make_unique<QtFileDialog>(std::move(parent));
}

}  // namespace rm
