// Starting a program by path: the whole text is the path, nothing is split or
// handed to a shell, and a program that cannot start reports false.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include "Eventually.h"
#include "platform/linux/LinuxPlatform.h"

namespace rm {
namespace {

// A script that leaves its own path ($0) in "started.txt" beside it.
QString WriteMarkerScript(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\nprintf '%s' \"$0\" > \"$(dirname \"$0\")/started.txt\"\n");
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

TEST(LinuxProgramLauncher, StartsAPathWithSpacesAndChineseAsOneProgram) {
    QTemporaryDir dir(QDir::tempPath() + "/下载 管理器 XXXXXX");
    ASSERT_TRUE(dir.isValid());
    QString program = WriteMarkerScript(dir.filePath("迅雷 start.sh"));
    auto launcher = MakeLinuxProgramLauncher();

    EXPECT_TRUE(launcher->StartMinimized(QString(program).toStdString()));
    QFile marker(dir.filePath("started.txt"));
    ASSERT_EVENTUALLY_TRUE(marker.exists() && marker.size() > 0, 5000);
    ASSERT_TRUE(marker.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(marker.readAll()), program);
}

TEST(LinuxProgramLauncher, ReportsFalseWhenNothingCanStart) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto launcher = MakeLinuxProgramLauncher();
    EXPECT_FALSE(launcher->StartMinimized(QString(QString()).toStdString()));
    EXPECT_FALSE(launcher->StartMinimized(QString(dir.filePath("no such program")).toStdString()));
    // Shell syntax is part of the path, not a command line.
    QString touched = dir.filePath("touched");
    EXPECT_FALSE(launcher->StartMinimized(QString("/bin/touch " + touched).toStdString()));
    EXPECT_FALSE(
        launcher->StartMinimized(QString("/bin/sh -c 'touch " + touched + "'").toStdString()));
    QTest::qWait(200);
    EXPECT_FALSE(QFile::exists(touched));
}

// A bare name is looked up on PATH, as exec does for a command.
TEST(LinuxProgramLauncher, FindsABareNameOnPath) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    WriteMarkerScript(dir.filePath("rm-download-manager"));
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(dir.path()) + ":" + oldPath);
    auto launcher = MakeLinuxProgramLauncher();
    const bool started = launcher->StartMinimized("rm-download-manager");
    qputenv("PATH", oldPath);
    EXPECT_TRUE(started);
    QFile marker(dir.filePath("started.txt"));
    ASSERT_EVENTUALLY_TRUE(marker.exists() && marker.size() > 0, 5000);
    EXPECT_FALSE(launcher->StartMinimized("rm-no-such-program-anywhere"));
}

// A NUL would show one path and start another (the part before it); control
// characters are refused before anything is started.
TEST(LinuxProgramLauncher, RefusesPathsWithControlCharacters) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString program = WriteMarkerScript(dir.filePath("start.sh"));
    auto launcher = MakeLinuxProgramLauncher();
    EXPECT_FALSE(launcher->StartMinimized(QString(program + QChar(0) + ".exe").toStdString()));
    EXPECT_FALSE(launcher->StartMinimized(QString(program + "\n").toStdString()));
    EXPECT_FALSE(launcher->StartMinimized(QString(QChar(0x1B) + program).toStdString()));
    QTest::qWait(300);
    EXPECT_FALSE(QFile::exists(dir.filePath("started.txt")));
}

}  // namespace
}  // namespace rm
