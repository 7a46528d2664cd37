// TaskPoster for the Qt window: a queued call to an object of the window's
// thread, run by whichever event loop serves that thread (QApplication::exec
// or a wait that processes events).
#include <QMetaObject>
#include <QObject>

#include "gui/qt/QtFrontEnd.h"

namespace rm {
namespace {

class QtTaskPoster : public TaskPoster {
  public:
    void Post(std::function<void()> task) override {
        QMetaObject::invokeMethod(&context_, std::move(task), Qt::QueuedConnection);
    }

  private:
    // Lives on the thread that made the poster; queued calls die with it.
    QObject context_;
};

}  // namespace

std::unique_ptr<TaskPoster> MakeQtTaskPoster() {
    return std::make_unique<QtTaskPoster>();
}

}  // namespace rm
