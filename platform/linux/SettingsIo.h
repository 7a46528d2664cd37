// The file work under the settings store: reading a settings file only when no
// other user could have written it, copying the shipped defaults into a new
// settings folder, and saving all files through a descriptor of their folder
// under a lock, so that a save neither follows links planted in the folder nor
// meets another save half-way. No widgets here: a save can run on any thread.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace rm {

// Only the end of a settings file is read: its last line is the value, and a
// value is never anywhere near this long. A huge (or sparse) file then costs
// one short read.
constexpr int64_t kSettingsTailBytes = 64 * 1024;

// The name of the lock file that every save holds in the settings folder.
inline constexpr char kSettingsLockName[] = ".savedata.lock";

// Why a settings file with this owner and mode must not be loaded by the user
// `euid`, in plain words, or empty when it may: it must belong to that user or
// to root, and no group or other write bit may be set.
std::string UntrustedFileReason(uid_t owner, mode_t mode, uid_t euid);

// The bytes the last line is taken from: the whole file, or its last
// kSettingsTailBytes when it is longer. The file itself (never a link to it)
// must be a regular file that passes UntrustedFileReason. False with the
// reason in `error`; a FIFO or device is refused without waiting on it.
bool ReadSettingsTail(const std::string& path, std::string* tail, bool* cut, std::string* error);

// The last line of a settings file (Value of a LastLineReader that keeps
// `keepBytes`), read as ReadSettingsTail reads it.
bool ReadSettingsValue(const std::string& path, size_t keepBytes, std::string* value,
                       std::string* error);

// For each name missing from `folder` (nothing at all there, not even a
// link), a copy of the file of that name in `defaults`, which must pass the
// same checks as a load. An existing file is never replaced, even by another
// monitor copying at the same moment. On failure `failedPath` names the file.
bool CopyMissingSettingsFiles(const std::string& defaults, const std::string& folder,
                              const std::vector<const char*>& names, std::string* failedPath,
                              std::string* error);

struct SettingsFileWrite {
    const char* fileName;
    std::string bytes;
};

struct SaveFailure {
    std::string path;           // the file, or the folder or its lock when those failed
    std::string error;          // the system's error or the reason in words
    bool atFolder = false;      // the folder or the lock failed: nothing was written
    bool someReplaced = false;  // a rename failed after others had succeeded
    bool busy = false;          // another save holds the lock: nothing was written
};

// Replaces every file in `folder` with its bytes, all or nothing. The folder
// is resolved once and opened without following a link; every file is first
// written and flushed under a temporary name of this process and then renamed
// over its name, so a symbolic link in the folder is replaced, never followed.
// A file without any write bit, or one this user may not write, refuses the
// save before anything changes. Holds the folder's lock file throughout, and
// under it removes the temporaries of saves whose process is gone.
bool WriteSettingsFiles(const std::string& folder, const std::vector<SettingsFileWrite>& files,
                        SaveFailure* failure);

}  // namespace rm
