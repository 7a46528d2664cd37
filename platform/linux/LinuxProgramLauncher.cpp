// Starting the download manager: the whole text is the program's path, handed
// to exec directly, so no shell sees it and nothing in it is split or expanded.
#include <QProcess>
#include <algorithm>

#include "platform/linux/LinuxPlatform.h"

namespace rm {
namespace {

// exec takes a C string: a NUL would show one path in the window and start the
// program named by the part before it. Line breaks and other control
// characters have no place in a path typed into a one-line box either.
bool HasControlCharacter(const QString& path) {
    return std::any_of(path.begin(), path.end(), [](QChar c) {
        return c.unicode() < 0x20 || c.unicode() == 0x7F ||
               (c.unicode() >= 0x80 && c.unicode() < 0xA0);
    });
}

class LinuxProgramLauncher : public ProgramLauncher {
  public:
    // X11 has no "start minimised" for a foreign program; the caller minimises
    // its windows by title once they are up.
    bool StartMinimized(const QString& path) override {
        if (path.isEmpty() || HasControlCharacter(path)) return false;
        return QProcess::startDetached(path, QStringList());
    }
};

}  // namespace

std::unique_ptr<ProgramLauncher> MakeLinuxProgramLauncher() {
    return std::make_unique<LinuxProgramLauncher>();
}

}  // namespace rm
