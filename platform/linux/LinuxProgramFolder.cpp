// The program folder on Linux: the folder of the running executable, read from
// /proc/self/exe, so it does not depend on the working directory or on how the
// program was started (a link in PATH, a relative path).
#include <unistd.h>

#include <climits>
#include <string>

#include "platform/linux/LinuxPlatform.h"

namespace rm {

namespace {

class LinuxProgramFolder : public ProgramFolder {
  public:
    std::string Path() override {
        char buf[PATH_MAX];
        const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
        if (n <= 0 || size_t(n) >= sizeof buf) return {};
        std::string folder(buf, size_t(n));
        folder.erase(folder.rfind('/') == std::string::npos ? 0 : folder.rfind('/'));
        // Paths are this folder followed by "/" and a file name: the root
        // folder must not end in a separator of its own.
        return folder;
    }
};

}  // namespace

std::unique_ptr<ProgramFolder> MakeLinuxProgramFolder() {
    return std::make_unique<LinuxProgramFolder>();
}

}  // namespace rm
