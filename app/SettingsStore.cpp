// LoadAllSettings and SaveAllSettings over the settings files of the program
// folder. A save goes through temporary files so that a failure half-way never
// leaves some files new and others old.
#include "app/SettingsStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
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
// the same folder, waiting to be renamed over the file.
struct PendingFile {
    QString path;
    QByteArray target;
    QByteArray temporary;
};

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

// The mode a new settings file gets: that of the file it replaces, or what an
// ordinary create would give under the process's umask.
mode_t ModeFor(const QByteArray& target) {
    struct stat st {};
    if (::stat(target.constData(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool WriteTemporary(PendingFile& file, const QByteArray& bytes, const QString& folder,
                    const char* fileName, QString* error) {
    QByteArray name = QFile::encodeName(folder + QStringLiteral("/.") +
                                        QString::fromLatin1(fileName) + QStringLiteral(".XXXXXX"));
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
    std::vector<PendingFile> files;
    files.reserve(settings.size());
    QString failedPath, error;

    for (const auto& s : settings) {
        PendingFile& f = files.emplace_back();
        f.path = SettingsFilePath(folder, s.fileName);
        f.target = QFile::encodeName(f.path);
        if (!WriteTemporary(f, SettingsFileBytes(s.control->text()), folder, s.fileName, &error)) {
            failedPath = f.path;
            break;
        }
    }
    // A directory standing where a file must go is the one thing that makes the
    // rename below fail once the folder has taken the temporaries: look first.
    for (const auto& f : files) {
        if (!failedPath.isEmpty()) break;
        struct stat st {};
        if (::stat(f.target.constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
            failedPath = f.path;
            error = SystemError(EISDIR);
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
            // Make the renames themselves durable.
            const int dir = ::open(
                QFile::encodeName(folder.isEmpty() ? QStringLiteral("/") : folder).constData(),
                O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (dir >= 0) {
                ::fsync(dir);
                ::close(dir);
            }
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
