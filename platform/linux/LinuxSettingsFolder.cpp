// The settings folder on Linux. The decision is made once, when the service is
// made: a program folder that only the running user may write holds their
// settings (a build folder, an archive unpacked at home, an install into
// ~/.local); any other (a system install under /usr, a folder of another
// user) only ships the defaults, and the settings live in the user's own
// configuration folder.
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cstring>

#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/SettingsLocation.h"

namespace rm {

namespace {

QString SystemError(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

class LinuxSettingsFolder : public SettingsFolder {
  public:
    LinuxSettingsFolder(const QString& programFolder, const QString& userFolder)
        : programFolder_(programFolder) {
        struct stat st {};
        const QByteArray p =
            QFile::encodeName(programFolder.isEmpty() ? QStringLiteral("/") : programFolder);
        if (::stat(p.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
            FolderMayHoldSettings(st.st_uid, st.st_mode, ::geteuid())) {
            path_ = programFolder;
        } else {
            path_ = userFolder;
            defaults_ = programFolder;
        }
    }

    QString Path() override { return path_; }
    QString DefaultsPath() override { return defaults_; }

    bool Create(QString* error) override {
        if (path_.isEmpty()) {
            *error = QStringLiteral("找不到用户的主目录（HOME 未设置），无处存放设置");
            return false;
        }
        if (!defaults_.isEmpty()) {
            QString failed;
            int err = 0;
            if (!MakeFolders(path_, &failed, &err)) {
                *error = QStringLiteral("无法创建文件夹 %1：%2").arg(failed, SystemError(err));
                return false;
            }
        }
        struct stat st {};
        if (::stat(QFile::encodeName(path_).constData(), &st) != 0) {
            *error = QStringLiteral("设置文件夹 %1：%2").arg(path_, SystemError(errno));
            return false;
        }
        if (!S_ISDIR(st.st_mode)) {
            *error = QStringLiteral("设置文件夹 %1 不是文件夹").arg(path_);
            return false;
        }
        if (!FolderMayHoldSettings(st.st_uid, st.st_mode, ::geteuid())) {
            *error = st.st_uid != ::geteuid()
                         ? QStringLiteral("设置文件夹 %1 属于另一个用户（uid %2）")
                               .arg(path_)
                               .arg(st.st_uid)
                         : QStringLiteral(
                               "设置文件夹 %1 可被其他用户写入（权限 %2），"
                               "请用 chmod go-w 去掉他们的写权限")
                               .arg(path_)
                               .arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'));
            return false;
        }
        return true;
    }

  private:
    QString programFolder_;
    QString path_;
    QString defaults_;
};

}  // namespace

std::unique_ptr<SettingsFolder> MakeLinuxSettingsFolder(const QString& programFolder,
                                                        const QString& userFolder) {
    return std::make_unique<LinuxSettingsFolder>(programFolder, userFolder);
}

std::unique_ptr<SettingsFolder> MakeLinuxSettingsFolder(const QString& programFolder) {
    return MakeLinuxSettingsFolder(
        programFolder,
        UserSettingsFolder(QFile::decodeName(qgetenv("XDG_CONFIG_HOME")), HomeFolder()));
}

}  // namespace rm
