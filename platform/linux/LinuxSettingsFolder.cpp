// The settings folder on Linux. The decision is made once, when the service is
// made: a program folder that only the running user may write holds their
// settings (a build folder, an archive unpacked at home, an install into
// ~/.local); any other (a system install under /usr, a folder of another
// user) only ships the defaults, and the settings live in the user's own
// configuration folder.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/SettingsLocation.h"

namespace rm {

namespace {

std::string SystemError(int err) {
    return std::strerror(err);
}

// A mode as four octal digits, as chmod takes it: "0775".
std::string OctalMode(mode_t mode) {
    char text[16];
    std::snprintf(text, sizeof text, "%04o", unsigned(mode & 07777));
    return text;
}

class LinuxSettingsFolder : public SettingsFolder {
  public:
    LinuxSettingsFolder(const std::string& programFolder, const std::string& userFolder)
        : programFolder_(programFolder) {
        struct stat st {};
        const std::string p = programFolder.empty() ? std::string("/") : programFolder;
        if (::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
            FolderMayHoldSettings(st.st_uid, st.st_mode, ::geteuid())) {
            path_ = programFolder;
        } else {
            path_ = userFolder;
            defaults_ = programFolder;
        }
    }

    std::string Path() override { return path_; }
    std::string DefaultsPath() override { return defaults_; }

    bool Create(std::string* error) override {
        if (path_.empty()) {
            *error = "找不到用户的主目录（HOME 未设置），无处存放设置";
            return false;
        }
        if (!defaults_.empty()) {
            std::string failed;
            int err = 0;
            if (!MakeFolders(path_, &failed, &err)) {
                *error = "无法创建文件夹 " + failed + "：" + SystemError(err);
                return false;
            }
        }
        struct stat st {};
        if (::stat(path_.c_str(), &st) != 0) {
            *error = "设置文件夹 " + path_ + "：" + SystemError(errno);
            return false;
        }
        if (!S_ISDIR(st.st_mode)) {
            *error = "设置文件夹 " + path_ + " 不是文件夹";
            return false;
        }
        if (!FolderMayHoldSettings(st.st_uid, st.st_mode, ::geteuid())) {
            *error = st.st_uid != ::geteuid()
                         ? "设置文件夹 " + path_ + " 属于另一个用户（uid " +
                               std::to_string(st.st_uid) + "）"
                         : "设置文件夹 " + path_ + " 可被其他用户写入（权限 " +
                               OctalMode(st.st_mode) + "），请用 chmod go-w 去掉他们的写权限";
            return false;
        }
        return true;
    }

  private:
    std::string programFolder_;
    std::string path_;
    std::string defaults_;
};

}  // namespace

std::unique_ptr<SettingsFolder> MakeLinuxSettingsFolder(const std::string& programFolder,
                                                        const std::string& userFolder) {
    return std::make_unique<LinuxSettingsFolder>(programFolder, userFolder);
}

std::unique_ptr<SettingsFolder> MakeLinuxSettingsFolder(const std::string& programFolder) {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    return MakeLinuxSettingsFolder(programFolder, UserSettingsFolder(xdg ? xdg : "", HomeFolder()));
}

}  // namespace rm
