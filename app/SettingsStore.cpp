// LoadAllSettings and SaveAllSettings over the settings files of the program
// folder. A save goes through temporary files so that a failure half-way never
// leaves some files new and others old.
#include "app/SettingsStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/SettingsFile.h"

namespace rm {

namespace {

constexpr int kStopStyle = 16;         // the load failure ends the program
constexpr int kExclamationStyle = 48;  // the save failure does not
constexpr size_t kReadChunk = 64 * 1024;

QString SystemError(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

void ShowFileError(Form1& form, const QString& text, int style) {
    if (form.services.messages != nullptr) form.services.messages->Show(text, style);
}

QString ProgramFolderOf(Form1& form) {
    return form.services.folder != nullptr ? form.services.folder->Path() : QString();
}

class FdCloser {
  public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser() {
        if (fd_ >= 0) ::close(fd_);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

  private:
    int fd_;
};

// The value one file gives its control, or false with the system's error. Only
// as many bytes of the last line are kept as can make `maxChars` characters:
// the control would drop the rest, and a huge file then costs no memory.
bool ReadSetting(const QString& path, int maxChars, QString* value, QString* error) {
    // O_NONBLOCK: a FIFO put in a file's place must not hang start-up.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *error = SystemError(errno);
        return false;
    }
    FdCloser closer(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        *error = SystemError(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        *error = SystemError(EISDIR);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {  // a device or FIFO would never end or never answer
        *error = QStringLiteral("不是普通文件");
        return false;
    }
    LastLineReader reader(size_t(maxChars) * 4);  // at most four bytes a character
    std::vector<char> buffer(kReadChunk);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = SystemError(errno);
            return false;
        }
        if (n == 0) break;
        reader.Feed(QByteArrayView(buffer.data(), qsizetype(n)));
    }
    *value = DecodeNarrow(reader.Value());
    return true;
}

// A settings file's new content, written and flushed under a temporary name in
// the folder of the file it replaces, waiting to be renamed over it.
struct PendingFile {
    QString path;       // as the settings name it, for the messages
    QByteArray target;  // the file the rename replaces: `path` with its links followed
    QByteArray temporary;
};

QByteArray FolderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

// The file a write through `path` would reach: symbolic links are followed to
// the first name that is not one, so that a settings file a user has linked
// elsewhere keeps its link and the linked file gets the value. A link to a file
// not there yet leads to the name where it would be created. Only the folder
// of that name matters to the rename, so links among the folders above it need
// no resolving. (A hard link is still split by the rename: the other names keep
// the old content. Writing in place instead would give up all-or-nothing.)
bool ResolveTarget(const QByteArray& path, QByteArray* target, int* err) {
    constexpr int kMaxLinks = 40;  // the kernel's own limit before ELOOP
    QByteArray current = path;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(current.constData(), &st) != 0) {
            if (errno != ENOENT) {
                *err = errno;
                return false;
            }
            break;  // created by the rename
        }
        if (!S_ISLNK(st.st_mode)) break;
        if (hops == kMaxLinks) {
            *err = ELOOP;
            return false;
        }
        QByteArray link(PATH_MAX, '\0');
        const ssize_t n = ::readlink(current.constData(), link.data(), size_t(link.size()));
        if (n < 0 || n >= link.size()) {
            *err = n < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        link.truncate(n);
        // A relative link is relative to the folder the link is in; joining
        // the texts keeps ".." as the kernel reads it.
        current = link.startsWith('/') ? link : FolderOf(current) + '/' + link;
    }
    *target = current;
    return true;
}

// Whether a save may replace the file: the rename would succeed even on a
// file the user has made read-only, and must not. Root, who runs as it
// pleases, is held to the file's own write bits: none at all means read-only.
bool MayReplace(const QByteArray& target, int* err) {
    struct stat st {};
    if (::stat(target.constData(), &st) != 0) return true;  // a new file
    if (S_ISDIR(st.st_mode)) {
        // The rename of a file onto a directory would fail only after other
        // files had already been replaced.
        *err = EISDIR;
        return false;
    }
    if (!S_ISREG(st.st_mode)) return true;
    if ((st.st_mode & 0222) == 0) {
        *err = EACCES;
        return false;
    }
    if (::access(target.constData(), W_OK) != 0) {
        *err = errno;
        return false;
    }
    return true;
}

bool WriteAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    size_t left = size_t(bytes.size());
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        p += n;
        left -= size_t(n);
    }
    return true;
}

// The process's umask, read without setting it: umask() can only be read by
// changing it, and for that instant every file another thread creates (the
// scanner's, Qt's, the sound server client's) would get mode 0666.
mode_t ProcessUmask() {
    constexpr mode_t kUsual = 022;
    // stdio rather than QFile: /proc files claim a size of 0, which QFile takes for the end.
    std::FILE* status = std::fopen("/proc/self/status", "re");
    if (status == nullptr) return kUsual;
    mode_t mask = kUsual;  // kernels before 4.7 do not show it
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
        unsigned value = 0;
        if (std::sscanf(line, "Umask: %o", &value) == 1) {
            mask = mode_t(value & 0777);
            break;
        }
    }
    std::fclose(status);
    return mask;
}

// The mode a new settings file gets: that of the file it replaces, or what an
// ordinary create would give under the process's umask.
mode_t ModeFor(const QByteArray& target) {
    struct stat st {};
    if (::stat(target.constData(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
    return 0666 & ~ProcessUmask();
}

// "." + the settings file's name + "." + mkostemp's six characters.
QByteArray TemporaryTemplate(const char* fileName) {
    return QByteArrayLiteral(".") + fileName + QByteArrayLiteral(".XXXXXX");
}

bool WriteTemporary(PendingFile& file, const QByteArray& bytes, const char* fileName,
                    QString* error) {
    QByteArray name = FolderOf(file.target) + '/' + TemporaryTemplate(fileName);
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = SystemError(errno);
        return false;
    }
    file.temporary = name;
    const bool ok =
        ::fchmod(fd, ModeFor(file.target)) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    const int err = errno;
    if (::close(fd) != 0 && ok) {
        *error = SystemError(errno);
        return false;
    }
    if (!ok) *error = SystemError(err);
    return ok;
}

void RemoveTemporaries(const std::vector<PendingFile>& files) {
    for (const auto& f : files) {
        if (!f.temporary.isEmpty()) ::unlink(f.temporary.constData());
    }
}

// Whether `name` is one of WriteTemporary's names for one of the settings files.
bool IsTemporaryName(const QByteArray& name, const std::array<StoredSetting, 15>& settings) {
    static constexpr char kTemplateChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (const auto& s : settings) {
        const QByteArray stem = TemporaryTemplate(s.fileName).chopped(6);
        if (name.size() != stem.size() + 6 || !name.startsWith(stem)) continue;
        const QByteArray tail = name.mid(stem.size());
        return std::all_of(tail.begin(), tail.end(),
                           [](char c) { return std::strchr(kTemplateChars, c) != nullptr; });
    }
    return false;
}

// Removes the temporaries a save left behind when it was killed half-way;
// nothing else in the folder is touched.
void RemoveLeftoverTemporaries(const QString& folder,
                               const std::array<StoredSetting, 15>& settings) {
    const QByteArray dirPath = QFile::encodeName(folder.isEmpty() ? QStringLiteral("/") : folder);
    DIR* dir = ::opendir(dirPath.constData());
    if (dir == nullptr) return;  // the save itself reports a missing folder
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (!IsTemporaryName(name, settings)) continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode))
            ::unlinkat(::dirfd(dir), e->d_name, 0);
    }
    ::closedir(dir);
}

void SyncFolder(const QByteArray& folder) {
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace

std::array<StoredSetting, 15> StoredSettings(Form1& form) {
    return {{
        {"savedata1.ini", form.Text8},
        {"savedata2.ini", form.Text10},
        {"savedata3.ini", form.Text11},
        {"savedata4.ini", form.Text14},
        {"savedata5.ini", form.Text15},
        {"savedata10.ini", form.Text9[0]},
        {"savedata11.ini", form.Text9[1]},
        {"savedata12.ini", form.Text9[2]},
        {"savedata13.ini", form.Text9[3]},
        {"savedata14.ini", form.Text9[4]},
        {"savedata15.ini", form.Text9[5]},
        {"savedata16.ini", form.Text9[6]},
        {"savedata17.ini", form.Text9[7]},
        {"savedata18.ini", form.Text9[8]},
        {"savedata19.ini", form.Text9[9]},
    }};
}

QString SettingsFilePath(const QString& folder, const char* fileName) {
    return folder + QLatin1Char('/') + QString::fromLatin1(fileName);
}

bool LoadAllSettings(Form1& form) {
    const QString folder = ProgramFolderOf(form);
    for (const auto& s : StoredSettings(form)) {
        const QString path = SettingsFilePath(folder, s.fileName);
        QString value, error;
        if (!ReadSetting(path, s.control->maxLength(), &value, &error)) {
            ShowFileError(
                form, QStringLiteral("无法读取设置文件 %1：%2\n程序无法启动。").arg(path, error),
                kStopStyle);
            return false;
        }
        s.control->setText(value);
    }
    return true;
}

void SaveAllSettings(Form1& form) {
    const QString folder = ProgramFolderOf(form);
    const auto settings = StoredSettings(form);
    RemoveLeftoverTemporaries(folder, settings);
    std::vector<PendingFile> files;
    files.reserve(settings.size());
    QString failedPath, error;

    for (const auto& s : settings) {
        PendingFile& f = files.emplace_back();
        f.path = SettingsFilePath(folder, s.fileName);
        int err = 0;
        if (!ResolveTarget(QFile::encodeName(f.path), &f.target, &err) ||
            !MayReplace(f.target, &err)) {
            failedPath = f.path;
            error = SystemError(err);
            break;
        }
        if (!WriteTemporary(f, SettingsFileBytes(s.control->text()), s.fileName, &error)) {
            failedPath = f.path;
            break;
        }
    }
    int renamed = 0;
    if (failedPath.isEmpty()) {
        for (auto& f : files) {
            if (std::rename(f.temporary.constData(), f.target.constData()) != 0) {
                failedPath = f.path;
                error = SystemError(errno);
                break;
            }
            f.temporary.clear();
            ++renamed;
        }
        if (failedPath.isEmpty()) {
            // Make the renames themselves durable, in every folder they happened in.
            std::vector<QByteArray> folders;
            for (const auto& f : files) {
                const QByteArray d = FolderOf(f.target);
                if (std::find(folders.begin(), folders.end(), d) == folders.end())
                    folders.push_back(d);
            }
            for (const auto& d : folders) SyncFolder(d);
            return;
        }
    }
    RemoveTemporaries(files);
    // Only a rename failing after the checks above (which nothing ordinary
    // causes) can leave files already replaced; the message must not hide it.
    const QString outcome = renamed == 0 ? QStringLiteral("设置文件均未改动。")
                                         : QStringLiteral("此前的设置文件已保存，其余未改动。");
    ShowFileError(form,
                  QStringLiteral("无法保存设置文件 %1：%2\n%3").arg(failedPath, error, outcome),
                  kExclamationStyle);
}

}  // namespace rm
