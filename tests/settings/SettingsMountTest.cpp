// Saves that the system refuses: a read-only folder and a full disk. Run in a
// private mount namespace (private-mounts.sh), because root, who runs the
// tests, is not stopped by file permissions.
#include <sys/mount.h>

#include <cerrno>
#include <cstring>

#include "settings/SettingsFixture.h"

namespace rm {
namespace {

class SettingsMountTest : public SettingsFixture {
  protected:
    void SetUp() override {
        if (qEnvironmentVariable("RM_PRIVATE_MOUNTS") != QLatin1String("1"))
            GTEST_SKIP() << "no private mount namespace (needs root and unshare)";
    }
    void TearDown() override {
        for (const QByteArray& m : mounted) ::umount2(m.constData(), MNT_DETACH);
    }

    bool Mount(const char* source, const QString& target, const char* type, unsigned long flags,
               const char* options = nullptr) {
        const QByteArray t = QFile::encodeName(target);
        if (::mount(source, t.constData(), type, flags, options) != 0) {
            ADD_FAILURE() << "mount " << t.constData() << ": " << std::strerror(errno);
            return false;
        }
        if (!(flags & MS_REMOUNT)) mounted.prepend(t);
        return true;
    }

    // `what`: the file (or the folder) the message must name.
    void ExpectRefusedAndUnchanged(int err, const QString& what) {
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_TRUE(messages.shown[0].text.contains(what)) << messages.shown[0].text.toStdString();
        EXPECT_TRUE(messages.shown[0].text.contains(QString::fromLocal8Bit(std::strerror(err))))
            << messages.shown[0].text.toStdString();
        EXPECT_EQ(form->Text8->text(), QStringLiteral("edited"));  // the edit is kept
    }

    QList<QByteArray> mounted;
};

TEST_F(SettingsMountTest, AReadOnlyFolderRefusesTheSaveAndChangesNothing) {
    const QByteArray d = QFile::encodeName(dir.path());
    ASSERT_TRUE(Mount(d.constData(), dir.path(), nullptr, MS_BIND));
    ASSERT_TRUE(Mount(nullptr, dir.path(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY));
    const auto before = Snapshot();
    form->Text8->setText(QStringLiteral("edited"));

    SaveAllSettings(*form);

    // Stopped at the folder: not even the lock file could be made.
    ExpectRefusedAndUnchanged(EROFS, dir.path());
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(SettingsMountTest, AFullDiskRefusesTheSaveAndChangesNothing) {
    const QString small = dir.filePath(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(small));
    ASSERT_TRUE(Mount("tmpfs", small, "tmpfs", 0, "size=64k,mode=0755"));
    settingsFolder.path = small;
    SaveAllSettings(*form);  // the files as they were before the disk filled up
    ASSERT_TRUE(messages.shown.empty());
    {
        QFile filler(small + QStringLiteral("/filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }
    const QDir smallDir(small);
    const auto before = smallDir.entryList(QDir::Files | QDir::Hidden);
    QByteArray oldFirst;
    {
        QFile f(small + QStringLiteral("/savedata1.ini"));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        oldFirst = f.readAll();
    }
    form->Text8->setText(QStringLiteral("edited"));

    SaveAllSettings(*form);

    ExpectRefusedAndUnchanged(ENOSPC, small + QStringLiteral("/savedata1.ini"));
    EXPECT_EQ(smallDir.entryList(QDir::Files | QDir::Hidden), before);  // no temporaries left
    QFile f(small + QStringLiteral("/savedata1.ini"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), oldFirst);
}

}  // namespace
}  // namespace rm
