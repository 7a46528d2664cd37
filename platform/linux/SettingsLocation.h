// Where a user's settings files live on Linux, as pure rules: the folder beside
// the executable when that user alone may write it, else a folder under the
// user's XDG configuration folder.
#pragma once

#include <sys/types.h>

#include <string>

namespace rm {

// Whether a folder with this owner and mode may hold the settings of the user
// with effective uid `euid`: it must be theirs, and nobody else may write in
// it (no group or other write bit), or another user could put files there
// that steer this user's monitor (the download manager's path among them).
bool FolderMayHoldSettings(uid_t owner, mode_t mode, uid_t euid);

// The settings folder under the user's configuration folder:
// $XDG_CONFIG_HOME/router-monitor when that variable holds an absolute path
// (the XDG rule: a relative one is ignored), else $HOME/.config/router-monitor.
// Empty when `home` is not absolute either.
std::string UserSettingsFolder(const std::string& xdgConfigHome, const std::string& home);

// The home folder: $HOME when it is absolute, else the password database's.
std::string HomeFolder();

// Creates `folder` and every missing folder above it with mode 0700, as the
// XDG rule asks for folders it makes. False with the system's error and the
// folder that could not be made.
bool MakeFolders(const std::string& folder, std::string* failed, int* err);

}  // namespace rm
