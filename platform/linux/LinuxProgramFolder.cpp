// The program folder on Linux: the folder of the running executable, which Qt
// reads from /proc/self/exe, so it does not depend on the working directory or
// on how the program was started (a link in PATH, a relative path).
#include <QCoreApplication>
#include <QFileInfo>

#include "platform/linux/LinuxPlatform.h"

namespace rm {

namespace {

class LinuxProgramFolder : public ProgramFolder {
  public:
    QString Path() override {
        QString folder = QCoreApplication::instance() != nullptr
                             ? QCoreApplication::applicationDirPath()
                             : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
        // Paths are this folder followed by "/" and a file name: the root
        // folder must not end in a separator of its own.
        while (folder.endsWith(QLatin1Char('/'))) folder.chop(1);
        return folder;
    }
};

}  // namespace

std::unique_ptr<ProgramFolder> MakeLinuxProgramFolder() {
    return std::make_unique<LinuxProgramFolder>();
}

}  // namespace rm
