// The settings-folder rules and the 0700 folder creation.
#include "platform/linux/SettingsLocation.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace rm {

bool FolderMayHoldSettings(uid_t owner, mode_t mode, uid_t euid) {
    return owner == euid && (mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string UserSettingsFolder(const std::string& xdgConfigHome, const std::string& home) {
    auto trimmed = [](std::string path) {
        while (path.size() > 1 && path.ends_with('/')) path.pop_back();
        return path == "/" ? std::string() : path;
    };
    if (xdgConfigHome.starts_with('/')) return trimmed(xdgConfigHome) + "/router-monitor";
    if (home.starts_with('/')) return trimmed(home) + "/.config/router-monitor";
    return std::string();
}

std::string HomeFolder() {
    const char* env = std::getenv("HOME");
    if (env != nullptr && env[0] == '/') return env;
    std::vector<char> buffer(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &pw, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr)
        return found->pw_dir;
    return std::string();
}

bool MakeFolders(const std::string& folder, std::string* failed, int* err) {
    // From the top down, so that each new folder is made inside an existing one.
    std::string path;
    size_t at = 0;
    while (at < folder.size()) {
        const size_t slash = std::min(folder.find('/', at), folder.size());
        const std::string_view part = std::string_view(folder).substr(at, slash - at);
        at = slash + 1;
        if (part.empty()) continue;
        path += '/';
        path += part;
        if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) continue;
        *failed = path;
        *err = errno;
        return false;
    }
    return true;
}

}  // namespace rm
