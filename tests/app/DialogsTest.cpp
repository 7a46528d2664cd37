// The window-side dialogs offscreen: message boxes with the original style words
// and caption, and the open-file dialog that reports its last confirmed choice.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include "gui/qt/QtFrontEnd.h"

namespace rm {
namespace {

// Runs `act` on the modal dialog as soon as it is up (the caller is blocked in exec()).
template <typename Dialog>
void WhenModal(std::function<void(Dialog*)> act) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(d);
        }
    });
    poll->start();
}

TEST(QtMessageBoxes, StyleWordPicksTheIconAndTheCaptionIsTheAppTitle) {
    QWidget parent;
    auto boxes = MakeQtMessageBoxes([&parent] { return &parent; });
    const struct {
        int style;
        QMessageBox::Icon icon;
    } cases[] = {{0, QMessageBox::NoIcon}, {48, QMessageBox::Warning}, {16, QMessageBox::Critical}};
    for (const auto& c : cases) {
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::Question;
        int buttons = 0;
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->buttons().size();
            box->accept();
        });
        boxes->Show("Windows Sockets error -1 occurred in Cleanup.", c.style);
        EXPECT_EQ(title, QStringLiteral("Orla网监视"));
        EXPECT_EQ(text, QStringLiteral("Windows Sockets error -1 occurred in Cleanup."));
        EXPECT_EQ(icon, c.icon) << c.style;
        EXPECT_EQ(buttons, 1);
    }
}

TEST(QtFileDialog, ACancelReportsTheLastConfirmedChoice) {
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("Thunder.exe"));
    QFile(program).open(QIODevice::WriteOnly);
    QWidget parent;
    auto dialog = MakeQtFileDialog([&parent] { return &parent; });

    WhenModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
    EXPECT_EQ(dialog->ShowOpen(), "");

    WhenModal<QFileDialog>([&](QFileDialog* d) {
        // Typed as the user would: the name box holds the choice.
        auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!name) {
            ADD_FAILURE() << "the dialog has no file-name box";
            d->reject();
            return;
        }
        name->setText(program);
        static_cast<QDialog*>(d)->done(QDialog::Accepted);  // done() is protected there
    });
    EXPECT_EQ(dialog->ShowOpen(), program.toStdString());

    WhenModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
    EXPECT_EQ(dialog->ShowOpen(), program.toStdString());
}

}  // namespace
}  // namespace rm
