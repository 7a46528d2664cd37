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

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/linux/SettingsFile.h"
#include "platform/linux/SettingsIo.h"
#include "settings/SettingsFixture.h"

namespace rm {
namespace {

// Uids no account on a test machine has: neither root nor the user running.
constexpr uid_t kOtherUid = 61871;
constexpr uid_t kOrdinaryUid = 61872;

class SettingsLoadRefusalTest : public SettingsFixture {
  protected:
    std::string Native(const char* name) const { return PathOf(name); }

    // Loads, which must fail naming `name` with `why` in the text, leaving
    // the file as it was and the control as the window had it.
    void ExpectRefused(const char* name, const std::string& why) {
        const std::string bytes = ReadFile(name);
        form->SetText(Control::Text15, std::string("window's own"));
        EXPECT_FALSE(LoadAllSettings(*monitor));
        ASSERT_EQ(messages.shown.size(), 1u);
        const std::string text = messages.shown[0].text;
        EXPECT_TRUE(Contains(text, PathOf(name))) << text;
        EXPECT_TRUE(Contains(text, why)) << text;
        EXPECT_EQ(messages.shown[0].style, 16);
        EXPECT_EQ(ReadFile(name), bytes);
        if (std::string(name) == "savedata5.ini")
            EXPECT_EQ(form->Text(Control::Text15), std::string("window's own"));
    }
};

TEST_F(SettingsLoadRefusalTest, AFileOfAnotherUserIsNotLoaded) {
    // As it was exploited: another user's download-manager path.
    WriteFile("savedata5.ini", "/home/mallory/run-me.sh\r\n");
    ASSERT_EQ(::chown(Native("savedata5.ini").c_str(), kOtherUid, kOtherUid), 0);
    ExpectRefused("savedata5.ini", "uid " + std::to_string(kOtherUid));
}

TEST_F(SettingsLoadRefusalTest, AFileGroupOrOthersMayWriteIsNotLoaded) {
    for (mode_t mode : {0666, 0664, 0646, 0620}) {
        SCOPED_TRACE(mode);
        WriteShippedFiles();
        messages.shown.clear();
        ASSERT_EQ(::chmod(Native("savedata4.ini").c_str(), mode), 0);
        ExpectRefused("savedata4.ini", std::string("chmod go-w"));
        ASSERT_EQ(::chmod(Native("savedata4.ini").c_str(), 0644), 0);
    }
    messages.shown.clear();
    EXPECT_TRUE(LoadAllSettings(*monitor));  // 0644 and 0600 are fine
}

TEST_F(SettingsLoadRefusalTest, ALinkInAFilesPlaceIsNotFollowed) {
    TempDir elsewhere;
    const std::string target = elsewhere.filePath("blank");
    // A title fragment that would close every window.
    ASSERT_TRUE(WriteBytes(target, " \r\n"));
    ASSERT_TRUE(::unlink(PathOf("savedata4.ini").c_str()) == 0);
    ASSERT_EQ(::symlink(target.c_str(), PathOf("savedata4.ini").c_str()), 0);
    ExpectRefused("savedata4.ini", std::string("符号链接"));
    EXPECT_TRUE(IsSymLink(PathOf("savedata4.ini")));
}

TEST_F(SettingsLoadRefusalTest, AFifoOrDeviceIsRefusedAtOnce) {
    ASSERT_TRUE(::unlink(PathOf("savedata10.ini").c_str()) == 0);
    // No writer ever opens it: a reader that waited would hang start-up.
    ASSERT_EQ(::mkfifo(Native("savedata10.ini").c_str(), 0644), 0);
    EXPECT_FALSE(LoadAllSettings(*monitor));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(Contains(messages.shown[0].text, std::string("不是普通文件")));

    ASSERT_TRUE(::unlink(PathOf("savedata10.ini").c_str()) == 0);
    ASSERT_EQ(::mknod(Native("savedata10.ini").c_str(), S_IFCHR | 0644, makedev(1, 5)), 0);
    EXPECT_FALSE(LoadAllSettings(*monitor));  // /dev/zero's numbers: it would never end
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_TRUE(Contains(messages.shown[1].text, PathOf("savedata10.ini")));
}

// An ordinary user (not root) loads their own files and root's, and no other
// user's. Root, who runs the tests, trusts only itself and root, so the
// ordinary user's view is tried in a child that has become one.
TEST(SettingsLoadAsOrdinaryUserTest, LoadsOwnAndRootsFilesOnly) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    TempDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    struct Case {
        const char* name;
        uid_t owner;
        bool loads;
    } cases[] = {{"own", kOrdinaryUid, true}, {"root", 0, true}, {"other", kOtherUid, false}};
    for (const Case& c : cases) {
        const std::string path = dir.filePath(c.name);
        ASSERT_TRUE(WriteBytes(path, "30\r\n"));
        ASSERT_EQ(::chown(path.c_str(), c.owner, c.owner), 0);
    }
    for (const Case& c : cases) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::setgroups(0, nullptr) != 0 ||
                ::setresgid(kOrdinaryUid, kOrdinaryUid, kOrdinaryUid) != 0 ||
                ::setresuid(kOrdinaryUid, kOrdinaryUid, kOrdinaryUid) != 0)
                ::_exit(3);
            std::string value;
            std::string error;
            const bool ok = ReadSettingsValue(dir.filePath(c.name), 1000, &value, &error);
            if (ok) ::_exit(value == "30" ? 0 : 4);
            ::_exit(Contains(error, "uid " + std::to_string(kOtherUid)) ? 1 : 5);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.loads ? 0 : 1) << c.name;
    }
}

TEST(UntrustedFileReasonTest, OwnerAndWriteBits) {
    EXPECT_TRUE(UntrustedFileReason(1000, 0644, 1000).empty());
    EXPECT_TRUE(UntrustedFileReason(0, 0644, 1000).empty());  // a shipped default
    EXPECT_TRUE(UntrustedFileReason(1000, 0600, 1000).empty());
    EXPECT_TRUE(UntrustedFileReason(1000, 0755, 1000).empty());
    EXPECT_FALSE(UntrustedFileReason(1001, 0644, 1000).empty());
    EXPECT_FALSE(UntrustedFileReason(1000, 0644, 0).empty());  // root trusts only root
    EXPECT_FALSE(UntrustedFileReason(1000, 0664, 1000).empty());
    EXPECT_FALSE(UntrustedFileReason(1000, 0646, 1000).empty());
    EXPECT_FALSE(UntrustedFileReason(0, 0666, 1000).empty());
    EXPECT_TRUE(Contains(UntrustedFileReason(0, 0666, 1000), "0666"));
}

class SettingsTailTest : public SettingsFixture {
  protected:
    // A sparse file of `size` bytes whose last bytes are `end`.
    bool WriteSparse(const char* name, off_t size, const std::string& end) {
        const int fd = ::open(PathOf(name).c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0) return false;
        const bool ok =
            ::ftruncate(fd, size) == 0 &&
            ::pwrite(fd, end.data(), end.size(), size - off_t(end.size())) == ssize_t(end.size());
        ::close(fd);
        return ok;
    }
    std::string ValueOf(const char* name) {
        std::string value;
        std::string error;
        EXPECT_TRUE(ReadSettingsValue(PathOf(name), size_t(-1), &value, &error)) << error;
        return value;
    }
};

TEST_F(SettingsTailTest, AFifteenTerabyteSparseFileGivesItsLastLine) {
    // Read whole, it kept start-up busy for hours; its tail is one read. (The
    // test's time limit is what fails a reader that reads it all.)
    if (!WriteSparse("savedata2.ini", off_t(15'000'000'000'000), "junk\r\n7\r\n"))
        GTEST_SKIP() << "this file system holds no 15 TB file";
    ASSERT_TRUE(LoadAllSettings(*monitor));
    EXPECT_EQ(form->Text(Control::Text10), std::string("7"));
}

TEST_F(SettingsTailTest, TheLastLineRuleHoldsOnTheTail) {
    const size_t t = size_t(kSettingsTailBytes);
    // Lines before the tail do not matter; the last one within it counts.
    ASSERT_TRUE(WriteSparse("savedata1.ini", 10 * t, "15\r\n30\r\n"));
    EXPECT_EQ(ValueOf("savedata1.ini"), std::string("30"));
    // A last line longer than the tail: its last kSettingsTailBytes bytes.
    std::string line(t + 100, 'a');
    line[0] = 'x';
    WriteFile("savedata2.ini", "old\r\n" + line);
    EXPECT_EQ(ValueOf("savedata2.ini"), std::string(t, 'a'));
    // A CR LF split by the tail's start: the LF ends the old line and is no
    // part of the value.
    WriteFile("savedata3.ini", std::string(50, 'b') + "\r\n" + std::string(t - 1, 'z'));
    EXPECT_EQ(ValueOf("savedata3.ini"), std::string(t - 1, 'z'));
    // An LF alone there is a character of the line (no CR ends it).
    WriteFile("savedata4.ini", std::string(50, 'b') + "c\n" + std::string(t - 1, 'z'));
    EXPECT_EQ(ValueOf("savedata4.ini"), "\n" + std::string(t - 1, 'z'));
    // A CR just before the tail: the tail is a line of its own.
    WriteFile("savedata5.ini", std::string(50, 'b') + "\r" + std::string(t, 'z'));
    EXPECT_EQ(ValueOf("savedata5.ini"), std::string(t, 'z'));
    // Exactly the tail's size: the whole file, as before.
    WriteFile("savedata10.ini", std::string(t - 2, 'q') + "\r\n");
    EXPECT_EQ(ValueOf("savedata10.ini"), std::string(t - 2, 'q'));
}

// Saves of two monitors at once, as processes (two programs) or as threads.
class ConcurrentSaveTest : public SettingsFixture {
  protected:
    static std::vector<SettingsFileWrite> SetOf(const std::string& tag) {
        std::vector<SettingsFileWrite> files;
        for (const char* name : kAllFiles) files.push_back({name, tag + "\r\n"});
        return files;
    }
    // `rounds` saves, each of one whole set tagged with the writer and round,
    // each tried again while the other writer holds the folder, as the
    // window's save does.
    static bool SaveRounds(const std::string& folder, char writer, int rounds) {
        for (int i = 0; i < rounds; ++i) {
            SaveFailure failure;
            bool saved;
            while (!(saved =
                         WriteSettingsFiles(folder, SetOf(writer + std::to_string(i)), &failure)) &&
                   failure.busy)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (!saved) {
                std::fprintf(stderr, "save %c%d: %s: %s\n", writer, i, failure.path.c_str(),
                             failure.error.c_str());
                return false;
            }
        }
        return true;
    }
    void ExpectOneWholeSetAndNoTemporary(int rounds) {
        const std::string first = ReadFile(kAllFiles[0]);
        EXPECT_TRUE(first == "A" + std::to_string(rounds - 1) + "\r\n" ||
                    first == "B" + std::to_string(rounds - 1) + "\r\n")
            << first;
        for (const char* name : kAllFiles) EXPECT_EQ(ReadFile(name), first) << name;
        // The fifteen and the lock: not a temporary left, none taken early.
        const std::vector<std::string> all = Entries(dir.path());
        std::string names;
        for (const auto& n : all) names += n + " ";
        EXPECT_EQ(all.size(), 16u) << names;
        EXPECT_TRUE(std::find(all.begin(), all.end(), ".savedata.lock") != all.end()) << names;
    }
    static constexpr int kRounds = 20;
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

// The window's save never blocks on another monitor's: it tries again in
// short sleeps (which serve the window) and gives up after 2 s, naming the lock.
TEST_F(ConcurrentSaveTest, ASaveWaitsForTheLockServingTheWindowThenGivesUp) {
    SaveAllSettings(*monitor);  // makes the lock file
    ASSERT_TRUE(messages.shown.empty());
    const int held = ::open(PathOf(kSettingsLockName).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    uint32_t longest = 0;
    int sleeps = 0;
    clock.onSleep = [&](uint32_t ms) {
        longest = std::max(longest, ms);
        ++sleeps;
    };
    form->SetText(Control::Text8, std::string("7"));
    const uint32_t start = clock.now;
    SaveAllSettings(*monitor);
    EXPECT_GE(clock.now - start, 2000u);
    EXPECT_LT(clock.now - start, 2100u);
    EXPECT_LE(longest, 50u) << "the window went unserved for " << longest << " ms";
    EXPECT_GT(sleeps, 20);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(Contains(messages.shown[0].text, PathOf(kSettingsLockName)))
        << messages.shown[0].text;
    EXPECT_TRUE(Contains(messages.shown[0].text, "另一个保存一直没有结束"));
    EXPECT_EQ(ReadFile(kAllFiles[0]), std::string("20\r\n"));

    // The other save ends within the wait: this one goes through.
    clock.onSleep = [&, released = false](uint32_t) mutable {
        if (!released && clock.now - start >= 2300) {
            ::close(held);
            released = true;
        }
    };
    SaveAllSettings(*monitor);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(ReadFile(kAllFiles[0]), std::string("7\r\n"));
}

}  // namespace
}  // namespace rm
