// Settings files through descriptors: checked reads, seeding, locked saves.
#include "platform/linux/SettingsIo.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <thread>

#include "platform/linux/SettingsFile.h"

namespace rm {

namespace {

std::string SystemError(int err) {
    return std::strerror(err);
}

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }

  private:
    int fd_;
};

bool ReadFully(int fd, char* p, size_t want, off_t at, size_t* got) {
    *got = 0;
    while (*got < want) {
        const ssize_t n = ::pread(fd, p + *got, want - *got, at + off_t(*got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;  // the file shrank meanwhile: what is there is the end
        *got += size_t(n);
    }
    return true;
}

bool WriteAll(int fd, const std::string& bytes) {
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        p += n;
        left -= size_t(n);
    }
    return true;
}

// Opens a file to be read as a setting, refusing what another user could have
// put there. O_NOFOLLOW: a link is refused, not followed (ELOOP). O_NONBLOCK:
// a FIFO put in a file's place must not hang start-up before fstat sees it.
int OpenTrusted(const std::string& path, struct stat* st, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int err = errno;
        *error =
            err == ELOOP ? std::string("它是符号链接；设置只从普通文件读取") : SystemError(err);
        return -1;
    }
    std::string why;
    if (::fstat(fd, st) != 0) {
        why = SystemError(errno);
    } else if (S_ISDIR(st->st_mode)) {
        why = SystemError(EISDIR);
    } else if (!S_ISREG(st->st_mode)) {  // a device or FIFO would never end or never answer
        why = "它不是普通文件";
    } else {
        why = UntrustedFileReason(st->st_uid, st->st_mode, ::geteuid());
    }
    if (why.empty()) return fd;
    ::close(fd);
    *error = why;
    return -1;
}

std::string RandomSuffix() {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char raw[6];
    if (::getrandom(raw, sizeof raw, GRND_NONBLOCK) != ssize_t(sizeof raw)) {
        thread_local std::mt19937 fallback{std::random_device{}()};
        for (auto& b : raw) b = static_cast<unsigned char>(fallback());
    }
    std::string s;
    for (unsigned char b : raw) s += kChars[b % (sizeof kChars - 1)];
    return s;
}

// A temporary's name: "." + the settings file's name + "." + pid + "." + six
// random letters or digits. The pid tells a later save whether the save that
// made it may still be running; the random part keeps two threads apart.
std::string TemporaryName(const char* fileName) {
    return std::string(".") + fileName + '.' + std::to_string(int64_t(::getpid())) + '.' +
           RandomSuffix();
}

// A new temporary in `dir` holding `bytes`, flushed to disk, with `mode`
// (umask applied when `exactMode` is false). Never follows or reuses a name.
bool WriteTemporary(int dir, const char* fileName, const std::string& bytes, mode_t mode,
                    bool exactMode, std::string* name, int* err) {
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        *name = TemporaryName(fileName);
        fd = ::openat(dir, name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      mode);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        *err = errno;
        name->clear();
        return false;
    }
    const bool ok =
        (!exactMode || ::fchmod(fd, mode) == 0) && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    *err = errno;
    if (::close(fd) != 0 && ok) {
        *err = errno;
        ::unlinkat(dir, name->c_str(), 0);
        name->clear();
        return false;
    }
    if (!ok) {
        ::unlinkat(dir, name->c_str(), 0);
        name->clear();
    }
    return ok;
}

// The folder, its links resolved once, opened so that nothing later in the
// save looks its path up again.
int OpenFolder(const std::string& folder, int* err) {
    const std::string path = folder.empty() ? std::string("/") : folder;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        *err = errno;
        return -1;
    }
    const int fd = ::open(resolved, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) *err = errno;
    return fd;
}

// Whether `name` is a temporary (TemporaryName) of one of `files`; its pid then.
bool TemporaryOf(const char* name, const std::vector<SettingsFileWrite>& files, pid_t* pid) {
    if (name[0] != '.') return false;
    for (const auto& f : files) {
        const size_t n = std::strlen(f.fileName);
        if (std::strncmp(name + 1, f.fileName, n) != 0 || name[1 + n] != '.') continue;
        const char* p = name + 2 + n;
        const char* digits = p;
        while (*p >= '0' && *p <= '9') ++p;
        if (p == digits || p - digits > 10 || *p != '.') return false;
        const char* tail = p + 1;
        if (std::strlen(tail) != 6 || !std::all_of(tail, tail + 6, [](char c) {
                return std::isalnum(static_cast<unsigned char>(c));
            }))
            return false;
        *pid = pid_t(std::strtoll(digits, nullptr, 10));
        return true;
    }
    return false;
}

// Removes the temporaries of saves that were killed half-way. Runs under the
// lock, so no save that takes it is running; the pid check also spares a
// process that is still alive (it may be stuck, not dead), and a temporary is
// only ever removed by name, never followed.
void RemoveStaleTemporaries(int dir, const std::vector<SettingsFileWrite>& files) {
    const int copy = ::dup(dir);  // closedir closes what fdopendir was given
    if (copy < 0) return;
    DIR* d = ::fdopendir(copy);
    if (d == nullptr) {
        ::close(copy);
        return;
    }
    ::rewinddir(d);
    while (const dirent* e = ::readdir(d)) {
        pid_t pid = 0;
        if (!TemporaryOf(e->d_name, files, &pid)) continue;
        if (pid > 0 && (::kill(pid, 0) == 0 || errno != ESRCH)) continue;
        struct stat st {};
        if (::fstatat(dir, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(dir, e->d_name, 0);
    }
    ::closedir(d);
}

// Takes the folder's save lock without waiting: while another save holds it
// the caller hears EBUSY at once and waits on its own terms, serving its window.
int TakeLock(int dir, int* err) {
    int fd = ::openat(dir, kSettingsLockName,
                      O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) {
        *err = errno;
        return -1;
    }
    struct stat st {};
    const bool stated = ::fstat(fd, &st) == 0;
    if (!stated || !S_ISREG(st.st_mode)) {
        *err = stated ? EINVAL : errno;  // a FIFO or socket in its place: no lock of ours
        ::close(fd);
        return -1;
    }
    int r;
    do r = ::flock(fd, LOCK_EX | LOCK_NB);
    while (r != 0 && errno == EINTR);
    if (r == 0) return fd;
    *err = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    return -1;
}

// The mode the new file gets: that of the regular file it replaces without
// any group or other write or execute bit (a file we write must pass our own
// load check), or 0644 under the umask for a new name.
bool ModeFor(int dir, const char* name, mode_t* mode, bool* exact, int* err) {
    struct stat st {};
    *mode = 0644;
    *exact = false;
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return true;
        *err = errno;
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        // The rename of a file onto a directory would fail only after other
        // files had already been replaced.
        *err = EISDIR;
        return false;
    }
    if (!S_ISREG(st.st_mode)) return true;  // a link or FIFO is replaced, not followed
    // The rename would succeed even on a file the user has made read-only, and
    // must not; root, who may write anything, is held to the write bits.
    if ((st.st_mode & 0222) == 0) {
        *err = EACCES;
        return false;
    }
    if (::faccessat(dir, name, W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0) {
        *err = errno;
        return false;
    }
    *mode = st.st_mode & 0644;
    *exact = true;
    return true;
}

}  // namespace

std::string UntrustedFileReason(uid_t owner, mode_t mode, uid_t euid) {
    if (owner != euid && owner != 0)
        return "它属于另一个用户（uid " + std::to_string(owner) + "），不能由他决定本用户的设置";
    if ((mode & (S_IWGRP | S_IWOTH)) != 0) {
        char octal[16];
        std::snprintf(octal, sizeof octal, "%04o", unsigned(mode & 07777));
        return std::string("其他用户可以写入它（权限 ") + octal +
               "）；请用 chmod go-w 去掉他们的写权限";
    }
    return std::string();
}

bool ReadSettingsTail(const std::string& path, std::string* tail, bool* cut, std::string* error) {
    struct stat st {};
    Fd fd(OpenTrusted(path, &st, error));
    if (!fd.ok()) return false;
    // One byte before the tail as well: whether it is a CR decides whether the
    // tail's first LF ends a line or belongs to one.
    const off_t size = st.st_size;
    const off_t from = size > kSettingsTailBytes ? size - kSettingsTailBytes - 1 : 0;
    *cut = from > 0;
    tail->resize(size_t(size - from));
    size_t got = 0;
    if (!ReadFully(fd.get(), tail->data(), tail->size(), from, &got)) {
        *error = SystemError(errno);
        return false;
    }
    tail->resize(got);
    return true;
}

bool ReadSettingsValue(const std::string& path, size_t keepBytes, std::string* value,
                       std::string* error) {
    std::string tail;
    bool cut = false;
    if (!ReadSettingsTail(path, &tail, &cut, error)) return false;
    LastLineReader reader(keepBytes);
    std::string_view view(tail);
    // Unless a CR ends the line before the tail, the extra first byte belongs
    // to a line that starts earlier and goes on in the tail: skipping it keeps
    // the tail's own bytes.
    if (cut && !view.empty() && view.front() != '\r') view.remove_prefix(1);
    reader.Feed(view);
    *value = reader.Value();
    return true;
}

bool CopyMissingSettingsFiles(const std::string& defaults, const std::string& folder,
                              const std::vector<const char*>& names, std::string* failedPath,
                              std::string* error) {
    int err = 0;
    Fd dir(OpenFolder(folder, &err));
    if (!dir.ok()) {
        *failedPath = folder;
        *error = SystemError(err);
        return false;
    }
    for (const char* name : names) {
        struct stat st {};
        if (::fstatat(dir.get(), name, &st, AT_SYMLINK_NOFOLLOW) == 0) continue;  // kept
        const std::string source = defaults + '/' + name;
        std::string bytes;
        bool cut = false;
        if (!ReadSettingsTail(source, &bytes, &cut, error)) {
            *failedPath = source;
            return false;
        }
        if (cut) {
            *failedPath = source;
            *error = "它大于 " + std::to_string(kSettingsTailBytes) + " 字节，不是设置文件";
            return false;
        }
        std::string temporary;
        if (!WriteTemporary(dir.get(), name, bytes, 0644, false, &temporary, &err)) {
            *failedPath = folder + '/' + name;
            *error = SystemError(err);
            return false;
        }
        // RENAME_NOREPLACE: a file another monitor made meanwhile is kept.
        if (::renameat2(dir.get(), temporary.c_str(), dir.get(), name, RENAME_NOREPLACE) != 0) {
            err = errno;
            ::unlinkat(dir.get(), temporary.c_str(), 0);
            if (err == EEXIST) continue;
            *failedPath = folder + '/' + name;
            *error = SystemError(err);
            return false;
        }
    }
    ::fsync(dir.get());
    return true;
}

bool WriteSettingsFiles(const std::string& folder, const std::vector<SettingsFileWrite>& files,
                        SaveFailure* failure) {
    auto pathOf = [&](const char* name) { return folder + '/' + name; };
    int err = 0;
    Fd dir(OpenFolder(folder, &err));
    if (!dir.ok()) {
        *failure = {folder, SystemError(err), true, false};
        return false;
    }
    Fd lock(TakeLock(dir.get(), &err));
    if (!lock.ok()) {
        *failure = {pathOf(kSettingsLockName),
                    err == EBUSY ? std::string("另一个保存一直没有结束") : SystemError(err), true,
                    false, err == EBUSY};
        return false;
    }
    RemoveStaleTemporaries(dir.get(), files);

    std::vector<std::string> temporaries(files.size());
    auto removeOurs = [&] {
        for (const auto& t : temporaries)
            if (!t.empty()) ::unlinkat(dir.get(), t.c_str(), 0);
    };
    for (size_t i = 0; i < files.size(); ++i) {
        mode_t mode = 0644;
        bool exact = false;
        if (!ModeFor(dir.get(), files[i].fileName, &mode, &exact, &err) ||
            !WriteTemporary(dir.get(), files[i].fileName, files[i].bytes, mode, exact,
                            &temporaries[i], &err)) {
            removeOurs();
            *failure = {pathOf(files[i].fileName), SystemError(err), false, false};
            return false;
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (::renameat(dir.get(), temporaries[i].c_str(), dir.get(), files[i].fileName) != 0) {
            err = errno;
            removeOurs();
            // Only a failure after the checks above (which nothing ordinary
            // causes) can leave files already replaced; the caller must say so.
            *failure = {pathOf(files[i].fileName), SystemError(err), false, i > 0};
            return false;
        }
        temporaries[i].clear();
    }
    ::fsync(dir.get());  // the renames themselves made durable
    return true;
}

}  // namespace rm
