// Starting the download manager: the whole text is the program's path, handed
// to exec directly, so no shell sees it and nothing in it is split or expanded.
#include <QProcess>

#include "platform/linux/LinuxPlatform.h"

namespace rm {
namespace {

class LinuxProgramLauncher : public ProgramLauncher {
  public:
    // X11 has no "start minimised" for a foreign program; the caller minimises
    // its windows by title once they are up.
    bool StartMinimized(const QString& path) override {
        if (path.isEmpty()) return false;
        return QProcess::startDetached(path, QStringList());
    }
};

}  // namespace

std::unique_ptr<ProgramLauncher> MakeLinuxProgramLauncher() {
    return std::make_unique<LinuxProgramLauncher>();
}

}  // namespace rm
