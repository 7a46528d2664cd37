// The settings-folder rules and the 0700 folder creation.
#include "platform/linux/SettingsLocation.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QStringList>
#include <cerrno>
#include <vector>

namespace rm {

bool FolderMayHoldSettings(uid_t owner, mode_t mode, uid_t euid) {
    return owner == euid && (mode & (S_IWGRP | S_IWOTH)) == 0;
}

QString UserSettingsFolder(const QString& xdgConfigHome, const QString& home) {
    auto trimmed = [](QString path) {
        while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
        return path == QLatin1String("/") ? QString() : path;
    };
    if (xdgConfigHome.startsWith(QLatin1Char('/')))
        return trimmed(xdgConfigHome) + QStringLiteral("/router-monitor");
    if (home.startsWith(QLatin1Char('/')))
        return trimmed(home) + QStringLiteral("/.config/router-monitor");
    return QString();
}

QString HomeFolder() {
    const QString env = QFile::decodeName(qgetenv("HOME"));
    if (env.startsWith(QLatin1Char('/'))) return env;
    std::vector<char> buffer(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &pw, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr)
        return QFile::decodeName(found->pw_dir);
    return QString();
}

bool MakeFolders(const QString& folder, QString* failed, int* err) {
    // From the top down, so that each new folder is made inside an existing one.
    const QStringList parts = folder.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString path;
    for (const QString& part : parts) {
        path += QLatin1Char('/') + part;
        const QByteArray p = QFile::encodeName(path);
        if (::mkdir(p.constData(), 0700) == 0 || errno == EEXIST) continue;
        *failed = path;
        *err = errno;
        return false;
    }
    return true;
}

}  // namespace rm
