// What another user can do to a monitor's settings, tried on real files: files
// of theirs or writable by them are not loaded, links and FIFOs in a file's
// place are refused, a huge sparse file costs one short read, and saves of two
// monitors at once take turns and leave one whole set behind.
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <thread>

#include "app/SettingsFile.h"
#include "app/SettingsIo.h"
#include "settings/SettingsFixture.h"

namespace rm {
namespace {

// Uids no account on a test machine has: neither root nor the user running.
constexpr uid_t kOtherUid = 61871;
constexpr uid_t kOrdinaryUid = 61872;

class SettingsLoadRefusalTest : public SettingsFixture {
  protected:
    QByteArray Native(const char* name) const { return QFile::encodeName(PathOf(name)); }

    // Loads, which must fail naming `name` with `why` in the text, leaving
    // the file as it was and the control as the window had it.
    void ExpectRefused(const char* name, const QString& why) {
        const QByteArray bytes = ReadFile(name);
        form->Text15->setText(QStringLiteral("window's own"));
        EXPECT_FALSE(LoadAllSettings(*form));
        ASSERT_EQ(messages.shown.size(), 1u);
        const QString text = messages.shown[0].text;
        EXPECT_TRUE(text.contains(PathOf(name))) << text.toStdString();
        EXPECT_TRUE(text.contains(why)) << text.toStdString();
        EXPECT_EQ(messages.shown[0].style, 16);
        EXPECT_EQ(ReadFile(name), bytes);
        if (std::string(name) == "savedata5.ini")
            EXPECT_EQ(form->Text15->text(), QStringLiteral("window's own"));
    }
};

TEST_F(SettingsLoadRefusalTest, AFileOfAnotherUserIsNotLoaded) {
    // As it was exploited: another user's download-manager path.
    WriteFile("savedata5.ini", "/home/mallory/run-me.sh\r\n");
    ASSERT_EQ(::chown(Native("savedata5.ini").constData(), kOtherUid, kOtherUid), 0);
    ExpectRefused("savedata5.ini", QStringLiteral("uid %1").arg(kOtherUid));
}

TEST_F(SettingsLoadRefusalTest, AFileGroupOrOthersMayWriteIsNotLoaded) {
    for (mode_t mode : {0666, 0664, 0646, 0620}) {
        SCOPED_TRACE(mode);
        WriteShippedFiles();
        messages.shown.clear();
        ASSERT_EQ(::chmod(Native("savedata4.ini").constData(), mode), 0);
        ExpectRefused("savedata4.ini", QStringLiteral("chmod go-w"));
        ASSERT_EQ(::chmod(Native("savedata4.ini").constData(), 0644), 0);
    }
    messages.shown.clear();
    EXPECT_TRUE(LoadAllSettings(*form));  // 0644 and 0600 are fine
}

TEST_F(SettingsLoadRefusalTest, ALinkInAFilesPlaceIsNotFollowed) {
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath(QStringLiteral("blank"));
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(" \r\n");  // a title fragment that would close every window
    }
    ASSERT_TRUE(QFile::remove(PathOf("savedata4.ini")));
    ASSERT_TRUE(QFile::link(target, PathOf("savedata4.ini")));
    ExpectRefused("savedata4.ini", QStringLiteral("符号链接"));
    EXPECT_TRUE(QFileInfo(PathOf("savedata4.ini")).isSymLink());
}

TEST_F(SettingsLoadRefusalTest, AFifoOrDeviceIsRefusedAtOnce) {
    ASSERT_TRUE(QFile::remove(PathOf("savedata10.ini")));
    // No writer ever opens it: a reader that waited would hang start-up.
    ASSERT_EQ(::mkfifo(Native("savedata10.ini").constData(), 0644), 0);
    EXPECT_FALSE(LoadAllSettings(*form));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("不是普通文件")));

    ASSERT_TRUE(QFile::remove(PathOf("savedata10.ini")));
    ASSERT_EQ(::mknod(Native("savedata10.ini").constData(), S_IFCHR | 0644, makedev(1, 5)), 0);
    EXPECT_FALSE(LoadAllSettings(*form));  // /dev/zero's numbers: it would never end
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_TRUE(messages.shown[1].text.contains(PathOf("savedata10.ini")));
}

// An ordinary user (not root) loads their own files and root's, and no other
// user's. Root, who runs the tests, trusts only itself and root, so the
// ordinary user's view is tried in a child that has become one.
TEST(SettingsLoadAsOrdinaryUserTest, LoadsOwnAndRootsFilesOnly) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray d = QFile::encodeName(dir.path());
    ASSERT_EQ(::chmod(d.constData(), 0755), 0);
    struct Case {
        const char* name;
        uid_t owner;
        bool loads;
    } cases[] = {{"own", kOrdinaryUid, true}, {"root", 0, true}, {"other", kOtherUid, false}};
    for (const Case& c : cases) {
        QFile f(dir.filePath(QString::fromLatin1(c.name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("30\r\n");
        f.close();
        ASSERT_EQ(::chown(QFile::encodeName(f.fileName()).constData(), c.owner, c.owner), 0);
    }
    for (const Case& c : cases) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::setgroups(0, nullptr) != 0 ||
                ::setresgid(kOrdinaryUid, kOrdinaryUid, kOrdinaryUid) != 0 ||
                ::setresuid(kOrdinaryUid, kOrdinaryUid, kOrdinaryUid) != 0)
                ::_exit(3);
            QByteArray value;
            QString error;
            const bool ok =
                ReadSettingsValue(dir.filePath(QString::fromLatin1(c.name)), 1000, &value, &error);
            if (ok) ::_exit(value == "30" ? 0 : 4);
            ::_exit(error.contains(QStringLiteral("uid %1").arg(kOtherUid)) ? 1 : 5);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.loads ? 0 : 1) << c.name;
    }
}

TEST(UntrustedFileReasonTest, OwnerAndWriteBits) {
    EXPECT_TRUE(UntrustedFileReason(1000, 0644, 1000).isEmpty());
    EXPECT_TRUE(UntrustedFileReason(0, 0644, 1000).isEmpty());  // a shipped default
    EXPECT_TRUE(UntrustedFileReason(1000, 0600, 1000).isEmpty());
    EXPECT_TRUE(UntrustedFileReason(1000, 0755, 1000).isEmpty());
    EXPECT_FALSE(UntrustedFileReason(1001, 0644, 1000).isEmpty());
    EXPECT_FALSE(UntrustedFileReason(1000, 0644, 0).isEmpty());  // root trusts only root
    EXPECT_FALSE(UntrustedFileReason(1000, 0664, 1000).isEmpty());
    EXPECT_FALSE(UntrustedFileReason(1000, 0646, 1000).isEmpty());
    EXPECT_FALSE(UntrustedFileReason(0, 0666, 1000).isEmpty());
    EXPECT_TRUE(UntrustedFileReason(0, 0666, 1000).contains(QStringLiteral("0666")));
}

class SettingsTailTest : public SettingsFixture {
  protected:
    // A sparse file of `size` bytes whose last bytes are `end`.
    bool WriteSparse(const char* name, off_t size, const QByteArray& end) {
        const int fd =
            ::open(QFile::encodeName(PathOf(name)).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) return false;
        const bool ok =
            ::ftruncate(fd, size) == 0 &&
            ::pwrite(fd, end.constData(), size_t(end.size()), size - end.size()) == end.size();
        ::close(fd);
        return ok;
    }
    QByteArray ValueOf(const char* name) {
        QByteArray value;
        QString error;
        EXPECT_TRUE(ReadSettingsValue(PathOf(name), size_t(-1), &value, &error))
            << error.toStdString();
        return value;
    }
};

TEST_F(SettingsTailTest, AFifteenTerabyteSparseFileGivesItsLastLine) {
    // Read whole, it kept start-up busy for hours; its tail is one read. (The
    // test's time limit is what fails a reader that reads it all.)
    if (!WriteSparse("savedata2.ini", off_t(15'000'000'000'000), "junk\r\n7\r\n"))
        GTEST_SKIP() << "this file system holds no 15 TB file";
    ASSERT_TRUE(LoadAllSettings(*form));
    EXPECT_EQ(form->Text10->text(), QStringLiteral("7"));
}

TEST_F(SettingsTailTest, TheLastLineRuleHoldsOnTheTail) {
    const qint64 t = kSettingsTailBytes;
    // Lines before the tail do not matter; the last one within it counts.
    ASSERT_TRUE(WriteSparse("savedata1.ini", 10 * t, "15\r\n30\r\n"));
    EXPECT_EQ(ValueOf("savedata1.ini"), QByteArray("30"));
    // A last line longer than the tail: its last kSettingsTailBytes bytes.
    QByteArray line(t + 100, 'a');
    line[0] = 'x';
    WriteFile("savedata2.ini", "old\r\n" + line);
    EXPECT_EQ(ValueOf("savedata2.ini"), QByteArray(t, 'a'));
    // A CR LF split by the tail's start: the LF ends the old line and is no
    // part of the value.
    WriteFile("savedata3.ini", QByteArray(50, 'b') + "\r\n" + QByteArray(t - 1, 'z'));
    EXPECT_EQ(ValueOf("savedata3.ini"), QByteArray(t - 1, 'z'));
    // An LF alone there is a character of the line (no CR ends it).
    WriteFile("savedata4.ini", QByteArray(50, 'b') + "c\n" + QByteArray(t - 1, 'z'));
    EXPECT_EQ(ValueOf("savedata4.ini"), "\n" + QByteArray(t - 1, 'z'));
    // A CR just before the tail: the tail is a line of its own.
    WriteFile("savedata5.ini", QByteArray(50, 'b') + "\r" + QByteArray(t, 'z'));
    EXPECT_EQ(ValueOf("savedata5.ini"), QByteArray(t, 'z'));
    // Exactly the tail's size: the whole file, as before.
    WriteFile("savedata10.ini", QByteArray(t - 2, 'q') + "\r\n");
    EXPECT_EQ(ValueOf("savedata10.ini"), QByteArray(t - 2, 'q'));
}

// Saves of two monitors at once, as processes (two programs) or as threads.
class ConcurrentSaveTest : public SettingsFixture {
  protected:
    static std::vector<SettingsWrite> SetOf(const QByteArray& tag) {
        std::vector<SettingsWrite> files;
        for (const char* name : kAllFiles) files.push_back({name, tag + "\r\n"});
        return files;
    }
    // `rounds` saves, each of one whole set tagged with the writer and round.
    static bool SaveRounds(const QString& folder, char writer, int rounds) {
        for (int i = 0; i < rounds; ++i) {
            SaveFailure failure;
            if (!WriteSettingsFiles(folder, SetOf(writer + QByteArray::number(i)), &failure))
                return false;
        }
        return true;
    }
    void ExpectOneWholeSetAndNoTemporary(int rounds) {
        const QByteArray first = ReadFile(kAllFiles[0]);
        EXPECT_TRUE(first == "A" + QByteArray::number(rounds - 1) + "\r\n" ||
                    first == "B" + QByteArray::number(rounds - 1) + "\r\n")
            << first.constData();
        for (const char* name : kAllFiles) EXPECT_EQ(ReadFile(name), first) << name;
        // The fifteen and the lock: not a temporary left, none taken early.
        const QStringList all = QDir(dir.path())
                                    .entryList(QDir::Files | QDir::Hidden | QDir::System |
                                               QDir::Dirs | QDir::NoDotAndDotDot);
        EXPECT_EQ(all.size(), 16) << all.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(all.contains(QStringLiteral(".savedata.lock")));
    }
    static constexpr int kRounds = 60;
};

TEST_F(ConcurrentSaveTest, TwoProcessesSavingAtOnceLeaveOneWholeSet) {
    pid_t children[2];
    for (int k = 0; k < 2; ++k) {
        children[k] = ::fork();
        ASSERT_GE(children[k], 0);
        if (children[k] == 0) ::_exit(SaveRounds(dir.path(), char('A' + k), kRounds) ? 0 : 1);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "a save failed: another one took its temporaries";
    }
    ExpectOneWholeSetAndNoTemporary(kRounds);
}

TEST_F(ConcurrentSaveTest, TwoThreadsSavingAtOnceLeaveOneWholeSet) {
    bool ok[2] = {false, false};
    std::thread a([&] { ok[0] = SaveRounds(dir.path(), 'A', kRounds); });
    std::thread b([&] { ok[1] = SaveRounds(dir.path(), 'B', kRounds); });
    a.join();
    b.join();
    EXPECT_TRUE(ok[0]);
    EXPECT_TRUE(ok[1]);
    ExpectOneWholeSetAndNoTemporary(kRounds);
}

TEST_F(ConcurrentSaveTest, ASaveWaitsForTheLockAndGoesOnWhenItIsFree) {
    SaveAllSettings(*form);  // makes the lock file
    ASSERT_TRUE(messages.shown.empty());
    const int held =
        ::open(QFile::encodeName(PathOf(kSettingsLockName)).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    bool ok = false;
    std::thread saver([&] { ok = SaveRounds(dir.path(), 'A', 1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(ReadFile(kAllFiles[0]), QByteArray("20\r\n"));  // still waiting
    ::close(held);
    saver.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(ReadFile(kAllFiles[0]), QByteArray("A0\r\n"));
}

}  // namespace
}  // namespace rm
