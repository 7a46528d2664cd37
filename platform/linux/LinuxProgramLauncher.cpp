// Starting the download manager: the whole text is the program's path, handed
// to exec directly, so no shell sees it and nothing in it is split or expanded.
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <string>
#include <thread>

#include "core/Utf8.h"
#include "platform/linux/LinuxPlatform.h"

extern char** environ;

namespace rm {
namespace {

class LinuxProgramLauncher : public ProgramLauncher {
  public:
    // X11 has no "start minimised" for a foreign program; the caller minimises
    // its windows by title once they are up.
    bool StartMinimized(const std::string& path) override {
        if (path.empty() || HasControlCharacter(path)) return false;
        posix_spawnattr_t attr;
        if (posix_spawnattr_init(&attr) != 0) return false;
        // A session of its own: the program outlives the monitor and its terminal.
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
        char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
        pid_t pid = 0;
        // A name without a slash is looked up on PATH, as the window's users
        // have always been able to type just the program's name; a path with
        // one is taken as it stands. Neither ever goes through a shell.
        const int err = posix_spawnp(&pid, path.c_str(), nullptr, &attr, argv, environ);
        posix_spawnattr_destroy(&attr);
        if (err != 0) return false;
        // Detached: nobody waits for it but this reaper, so it never lingers
        // as a zombie.
        std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
        return true;
    }
};

}  // namespace

std::unique_ptr<ProgramLauncher> MakeLinuxProgramLauncher() {
    return std::make_unique<LinuxProgramLauncher>();
}

}  // namespace rm
