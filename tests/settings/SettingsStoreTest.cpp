// LoadAllSettings and SaveAllSettings on real files in a temporary program
// folder: the bytes written, the values read back, bad files, failed saves.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <random>

#include "platform/linux/SettingsIo.h"
#include "settings/SettingsFixture.h"

// Every umask() call of this program passes here, counted: a save must learn
// the umask without setting it, since setting it is process-wide and other
// threads create files meanwhile.
namespace {
std::atomic<int> umaskCalls{0};
}
extern "C" mode_t umask(mode_t mask) noexcept {
    ++umaskCalls;
    return mode_t(::syscall(SYS_umask, mask));
}

namespace rm {
namespace {

using SaveAllSettingsTest = SettingsFixture;
using LoadAllSettingsTest = SettingsFixture;

TEST_F(SaveAllSettingsTest, WritesEachControlAsOneLineOfNarrowText) {
    form->SetText(Control::Text8, std::string("20"));
    form->SetText(Control::Text10, std::string("1"));
    form->SetText(Control::Text11, std::string("255"));
    form->SetText(Control::Text14, std::string("迅雷"));
    form->SetText(Control::Text15, std::string("/opt/thunder/迅雷5.exe"));
    form->SetText(Text9(0), std::string(" 00-1A-2B-3C-4D-5E "));
    form->SetText(Text9(3), "");
    form->SetText(Text9(9), std::string("abc"));
    WriteFile("savedata6.ini", "keep me");
    WriteFile("savedata9.ini", "and me\r\n");

    SaveAllSettings(*monitor);

    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(ReadFile("savedata1.ini"), std::string("20\r\n"));
    EXPECT_EQ(ReadFile("savedata2.ini"), std::string("1\r\n"));
    EXPECT_EQ(ReadFile("savedata3.ini"), std::string("255\r\n"));
    EXPECT_EQ(ReadFile("savedata4.ini"), std::string("\xD1\xB8\xC0\xD7\r\n"));
    EXPECT_EQ(ReadFile("savedata5.ini"), std::string("/opt/thunder/\xD1\xB8\xC0\xD7"
                                                     "5.exe\r\n"));
    EXPECT_EQ(ReadFile("savedata10.ini"), std::string(" 00-1A-2B-3C-4D-5E \r\n"));
    EXPECT_EQ(ReadFile("savedata13.ini"), std::string("\r\n"));
    EXPECT_EQ(ReadFile("savedata19.ini"), std::string("abc\r\n"));
    // Files 6 to 9 are no settings files; nothing else is left in the folder.
    EXPECT_EQ(ReadFile("savedata6.ini"), std::string("keep me"));
    EXPECT_EQ(ReadFile("savedata9.ini"), std::string("and me\r\n"));
    EXPECT_EQ(Snapshot().size(), 17u);
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 07777;
}

TEST_F(SaveAllSettingsTest, KeepsTheModeOfTheFileItReplacesButNeverLetsOthersWrite) {
    ASSERT_EQ(::chmod(PathOf("savedata1.ini").c_str(), 0640), 0);
    // As the old package left them: a save must make them loadable again.
    ASSERT_EQ(::chmod(PathOf("savedata5.ini").c_str(), 0666), 0);
    ASSERT_EQ(::chmod(PathOf("savedata4.ini").c_str(), 0775), 0);
    SaveAllSettings(*monitor);
    ASSERT_TRUE(messages.shown.empty()) << messages.shown[0].text;
    EXPECT_EQ(ModeOf(PathOf("savedata1.ini")), 0640u);
    EXPECT_EQ(ModeOf(PathOf("savedata5.ini")), 0644u);
    EXPECT_EQ(ModeOf(PathOf("savedata4.ini")), 0644u);
    EXPECT_EQ(ModeOf(PathOf(".savedata.lock")), 0644u);
    ASSERT_TRUE(LoadAllSettings(*monitor));
}

TEST_F(SaveAllSettingsTest, ANewFileIsNotGroupWritableUnderAnOpenUmask) {
    const mode_t before = ::umask(002);
    ASSERT_TRUE(::unlink(PathOf("savedata3.ini").c_str()) == 0);
    SaveAllSettings(*monitor);
    ::umask(before);
    EXPECT_EQ(ModeOf(PathOf("savedata3.ini")), 0644u);
    EXPECT_EQ(ModeOf(PathOf(".savedata.lock")), 0644u);
}

TEST_F(SaveAllSettingsTest, ANewFileTakesTheUmaskWhichIsNeverChanged) {
    const mode_t before = ::umask(027);
    ASSERT_TRUE(::unlink(PathOf("savedata1.ini").c_str()) == 0);
    umaskCalls = 0;

    SaveAllSettings(*monitor);

    EXPECT_EQ(umaskCalls.load(), 0);
    ::umask(before);
    EXPECT_EQ(ModeOf(PathOf("savedata1.ini")), 0640u);
    EXPECT_EQ(ReadFile("savedata1.ini"), std::string("20\r\n"));
}

TEST_F(SaveAllSettingsTest, AReadOnlyFileRefusesTheSaveAndChangesNothing) {
    // Root is not stopped by the missing write bits; the save must be.
    const std::string readOnly = PathOf("savedata5.ini");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    const auto before = Snapshot();
    form->SetText(Control::Text8, std::string("99"));
    form->SetText(Control::Text15, std::string("/opt/thunder/new"));

    SaveAllSettings(*monitor);

    EXPECT_EQ(Snapshot(), before);  // no file changed, no temporary left
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(Contains(messages.shown[0].text, PathOf("savedata5.ini")))
        << messages.shown[0].text;
    EXPECT_TRUE(Contains(messages.shown[0].text, std::string(strerror(EACCES))));
    struct stat st {};
    ASSERT_EQ(::stat(readOnly.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(form->Text(Control::Text8), std::string("99"));

    ASSERT_EQ(::chmod(readOnly.c_str(), 0644), 0);  // writable again: the save goes through
    SaveAllSettings(*monitor);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(ReadFile("savedata1.ini"), std::string("99\r\n"));
    EXPECT_EQ(ReadFile("savedata5.ini"), std::string("/opt/thunder/new\r\n"));
}

TEST_F(SaveAllSettingsTest, APlantedLinkIsReplacedAndTheFileItNamesIsUntouched) {
    // Someone who may write in the folder links a settings file to a file of
    // the saving user elsewhere: a save that followed the link would
    // overwrite that file. (Links were once followed on purpose; no more.)
    TempDir home;
    const std::string victim = home.filePath(".bashrc");
    const std::string victimBytes("export PATH=$HOME/bin:$PATH\n");
    ASSERT_TRUE(WriteBytes(victim, victimBytes));
    const std::string notThere = home.filePath("created-by-save");
    for (const char* name : {"savedata5.ini", "savedata10.ini"})
        ASSERT_TRUE(::unlink(PathOf(name).c_str()) == 0);
    ASSERT_EQ(::symlink(victim.c_str(), PathOf("savedata5.ini").c_str()), 0);
    ASSERT_EQ(::symlink(notThere.c_str(), PathOf("savedata10.ini").c_str()), 0);  // dangling
    form->SetText(Control::Text15, std::string("/opt/thunder/迅雷"));
    form->SetText(Text9(0), std::string("00-11-22-33-44-55"));

    SaveAllSettings(*monitor);

    ASSERT_TRUE(messages.shown.empty()) << messages.shown[0].text;
    for (const char* name : {"savedata5.ini", "savedata10.ini"}) {
        EXPECT_FALSE(IsSymLink(PathOf(name))) << name;
        EXPECT_TRUE(IsFile(PathOf(name))) << name;
    }
    EXPECT_EQ(ReadFile("savedata5.ini"), std::string("/opt/thunder/\xD1\xB8\xC0\xD7\r\n"));
    EXPECT_EQ(ReadFile("savedata10.ini"), std::string("00-11-22-33-44-55\r\n"));
    EXPECT_EQ(ReadBytes(victim), victimBytes);
    EXPECT_FALSE(Exists(notThere));
    EXPECT_EQ(Entries(home.path()).size(), 1u);
}

TEST_F(SaveAllSettingsTest, APlantedLockLinkRefusesTheSaveAndIsNotFollowed) {
    TempDir home;
    const std::string victim = home.filePath(".profile");
    ASSERT_TRUE(WriteBytes(victim, "umask 022\n"));
    ASSERT_EQ(::symlink(victim.c_str(), PathOf(".savedata.lock").c_str()), 0);
    const auto before = Snapshot();
    form->SetText(Control::Text8, std::string("99"));

    SaveAllSettings(*monitor);

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(Contains(messages.shown[0].text, PathOf(".savedata.lock")))
        << messages.shown[0].text;
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(IsSymLink(PathOf(".savedata.lock")));
    EXPECT_EQ(ReadBytes(victim), std::string("umask 022\n"));
}

// A pid that no process has: a child that has ended and been reaped.
pid_t GonePid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

TEST_F(SaveAllSettingsTest, RemovesTheTemporariesOfKilledSavesOnlyAndNothingElse) {
    // Temporaries were once swept by name alone, which could take those of a
    // save running at that moment in another monitor. Now a save removes them
    // under the folder's lock, and only when the process that made them is gone.
    const std::string gone = std::to_string(GonePid());
    const std::string alive = std::to_string(::getppid());
    const std::string leftovers[] = {".savedata1.ini." + gone + ".Ab3xYz",
                                     ".savedata19.ini." + gone + ".000000",
                                     ".savedata12.ini." + gone + ".zzzzzz"};
    const std::string kept[] = {
        ".savedata1.ini." + alive + ".Ab3xYz",  // a save that may still be running
        ".savedata6.ini." + gone + ".Ab3xYz",   // no settings file of ours
        ".savedata1.ini." + gone + ".Ab3xY",    // five characters
        ".savedata1.ini." + gone + ".Ab3xYz7",  // seven
        ".savedata1.ini." + gone + ".Ab-xYz",   // a character never used
        ".savedata1.ini.Ab3xYz",                // no pid
        "savedata1.ini." + gone + ".Ab3xYz",    // not hidden
        ".savedata1.ini",                       // no suffix
        "notes.txt",
    };
    for (const std::string& name : leftovers) WriteFile(name, "20\r\n");
    for (const std::string& name : kept) WriteFile(name, "mine");
    const std::string dirName = ".savedata2.ini." + gone + ".dirXYZ";
    ASSERT_EQ(::mkdir(PathOf(dirName).c_str(), 0755), 0);

    SaveAllSettings(*monitor);

    EXPECT_TRUE(messages.shown.empty());
    for (const std::string& name : leftovers) EXPECT_FALSE(Exists(PathOf(name))) << name;
    for (const std::string& name : kept) EXPECT_EQ(ReadFile(name), std::string("mine")) << name;
    EXPECT_TRUE(IsDir(PathOf(dirName)));
    EXPECT_EQ(Snapshot().size(), 15u + std::size(kept) + 1u);
}

TEST_F(SaveAllSettingsTest, TextIsSavedAndLoadedAsItStands) {
    form->SetText(Control::Text8, std::string("abc"));
    SaveAllSettings(*monitor);
    EXPECT_EQ(ReadFile("savedata1.ini"), std::string("abc\r\n"));

    BoundedForm1* restarted = nullptr;
    auto again = NewMonitor(&restarted);
    ASSERT_TRUE(LoadAllSettings(*again));
    EXPECT_EQ(restarted->Text(Control::Text8), std::string("abc"));
}

TEST_F(SaveAllSettingsTest, WhatWasSavedIsWhatTheNextStartShows) {
    const auto& stored = StoredSettings();
    std::mt19937 rng(15);
    for (size_t i = 0; i < stored.size(); ++i) {
        // Chinese, astral and GB18030-only characters, spaces and an empty box.
        static const std::string kSamples[] = {"迅雷", " x ", "\U0001F600⺁é", "",
                                               "00-11-22-33-44-55"};
        form->SetText(stored[i].control, kSamples[rng() % std::size(kSamples)] + std::to_string(i));
    }
    SaveAllSettings(*monitor);

    BoundedForm1* restarted = nullptr;
    auto again = NewMonitor(&restarted);
    ASSERT_TRUE(LoadAllSettings(*again));
    for (const auto& s : stored)
        EXPECT_EQ(restarted->Text(s.control), form->Text(s.control)) << s.fileName;
}

TEST_F(SaveAllSettingsTest, ADirectoryWhereAFileMustGoChangesNothing) {
    ASSERT_TRUE(::unlink(PathOf("savedata12.ini").c_str()) == 0);
    ASSERT_TRUE(::mkdir(PathOf("savedata12.ini").c_str(), 0755) == 0);
    const auto before = Snapshot();
    form->SetText(Control::Text8, std::string("99"));
    form->SetText(Text9(9), std::string("edited"));

    SaveAllSettings(*monitor);

    EXPECT_EQ(Snapshot(), before);  // no file changed, no temporary left
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(Contains(messages.shown[0].text, PathOf("savedata12.ini")));
    EXPECT_TRUE(Contains(messages.shown[0].text, std::string(strerror(EISDIR))));
    EXPECT_EQ(messages.shown[0].style, 48);  // an exclamation: the program goes on
    EXPECT_EQ(form->Text(Control::Text8), std::string("99"));  // the edits are still there
    EXPECT_EQ(form->Text(Text9(9)), std::string("edited"));
}

TEST_F(SaveAllSettingsTest, AMissingFolderChangesNothingAndSaysWhy) {
    settingsFolder.path = dir.filePath("gone");
    SaveAllSettings(*monitor);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(Contains(messages.shown[0].text, settingsFolder.path));
    EXPECT_TRUE(Contains(messages.shown[0].text, std::string(strerror(ENOENT))));
    EXPECT_FALSE(Exists(settingsFolder.path));
}

// A folder nobody may write (root included: it is made immutable) fails the
// save at once, naming what could not be made; no wait, no retry.
TEST_F(SaveAllSettingsTest, AFolderThatCannotBeWrittenFailsAtOnce) {
    const auto before = Snapshot();
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    const int fd = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int flags = 0;
    const bool immutable = ::geteuid() == 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                           ::ioctl(fd, FS_IOC_SETFLAGS, &(flags |= FS_IMMUTABLE_FL)) == 0;
    if (::geteuid() == 0 && !immutable) {
        ::close(fd);
        GTEST_SKIP() << "root, and the file system has no immutable flag";
    }
    const uint32_t fakeStart = clock.now;
    const auto start = std::chrono::steady_clock::now();
    SaveAllSettings(*monitor);
    const auto took = std::chrono::steady_clock::now() - start;
    if (immutable) ::ioctl(fd, FS_IOC_SETFLAGS, &(flags &= ~FS_IMMUTABLE_FL));
    ::close(fd);
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_LT(took, std::chrono::milliseconds(100));
    EXPECT_EQ(clock.now, fakeStart) << "the save waited";
    EXPECT_EQ(Snapshot(), before);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(Contains(messages.shown[0].text, PathOf(kSettingsLockName)))
        << messages.shown[0].text;
}

TEST_F(LoadAllSettingsTest, GivesEachControlTheLastLineOfItsFile) {
    WriteFile("savedata1.ini", "15\r\n30\r\n");
    WriteFile("savedata2.ini", "");  // zero bytes: empty, not the value before it
    WriteFile("savedata3.ini", "15");
    WriteFile("savedata4.ini", "\xD1\xB8\xC0\xD7\r\n");
    WriteFile("savedata10.ini", "a\nb\n");
    WriteFile("savedata11.ini", " 00-1A-2B-3C-4D-5E \r\n");
    WriteFile("savedata12.ini", "abc\r\n\r\n");
    WriteFile("savedata19.ini", "abc\r\n");

    ASSERT_TRUE(LoadAllSettings(*monitor));

    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(form->Text(Control::Text8), std::string("30"));
    EXPECT_EQ(form->Text(Control::Text10), "");
    EXPECT_EQ(form->Text(Control::Text11), std::string("15"));
    EXPECT_EQ(form->Text(Control::Text14), std::string("迅雷"));
    EXPECT_EQ(form->Text(Text9(0)), std::string("a\nb\n"));
    EXPECT_EQ(form->Text(Text9(1)), std::string(" 00-1A-2B-3C-4D-5E "));
    EXPECT_EQ(form->Text(Text9(2)), "");
    EXPECT_EQ(form->Text(Text9(9)), std::string("abc"));
}

TEST_F(LoadAllSettingsTest, FilesSixToNineAreNeitherReadNorNeeded) {
    // Present with values that would show if read, or as directories that
    // would fail a read: either way the load neither uses nor minds them.
    WriteFile("savedata6.ini", "6\r\n");
    WriteFile("savedata7.ini", "7\r\n");
    ASSERT_TRUE(::mkdir(PathOf("savedata8.ini").c_str(), 0755) == 0);
    ASSERT_EQ(::mkfifo(PathOf("savedata9.ini").c_str(), 0644), 0);

    ASSERT_TRUE(LoadAllSettings(*monitor));

    EXPECT_TRUE(messages.shown.empty());
    const auto& loaded = StoredSettings();
    const std::string shipped[15] = {"20", "1", "255"};
    for (size_t i = 0; i < loaded.size(); ++i)
        EXPECT_EQ(form->Text(loaded[i].control), shipped[i]) << loaded[i].fileName;
}

TEST_F(LoadAllSettingsTest, AMissingFileEndsStartUpNamingIt) {
    ASSERT_TRUE(::unlink(PathOf("savedata3.ini").c_str()) == 0);
    form->SetText(Control::Text14, std::string("untouched"));

    EXPECT_FALSE(LoadAllSettings(*monitor));

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(Contains(messages.shown[0].text, PathOf("savedata3.ini")));
    EXPECT_TRUE(Contains(messages.shown[0].text, std::string(strerror(ENOENT))));
    EXPECT_EQ(messages.shown[0].style, 16);  // a stop: the program cannot start
    EXPECT_EQ(form->Text(Control::Text14), std::string("untouched"));  // it stopped there
}

TEST_F(LoadAllSettingsTest, FilesThatAreNoFilesFailWithoutHanging) {
    ASSERT_TRUE(::unlink(PathOf("savedata4.ini").c_str()) == 0);
    ASSERT_TRUE(::mkdir(PathOf("savedata4.ini").c_str(), 0755) == 0);
    EXPECT_FALSE(LoadAllSettings(*monitor));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(Contains(messages.shown[0].text, std::string(strerror(EISDIR))));

    // A FIFO has no writer: opening or reading it must not block start-up.
    ASSERT_TRUE(::rmdir(PathOf("savedata4.ini").c_str()) == 0);
    ASSERT_EQ(::mkfifo(PathOf("savedata4.ini").c_str(), 0644), 0);
    EXPECT_FALSE(LoadAllSettings(*monitor));
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_TRUE(Contains(messages.shown[1].text, PathOf("savedata4.ini")));
}

TEST_F(LoadAllSettingsTest, SurvivesGarbageAndHugeFiles) {
    std::mt19937 rng(50);
    std::string garbage(4096, '\0');
    for (char& c : garbage) c = char(rng());
    WriteFile("savedata1.ini", garbage);
    WriteFile("savedata2.ini", std::string("\x81\xFF\x00\x80\xFE", 5));
    // 50 MB: one line without any line end, and many lines ending in "7".
    WriteFile("savedata4.ini", std::string(50 * 1024 * 1024, 'x'));
    std::string lines;
    while (lines.size() < 50 * 1024 * 1024) lines += std::string(1000, 'y') + "\r\n";
    WriteFile("savedata5.ini", lines + "7\r\n");

    ASSERT_TRUE(LoadAllSettings(*monitor));

    EXPECT_EQ(form->Text(Control::Text10), std::string("\uFFFD\uFFFD") + '\0' + "€\uFFFD");
    EXPECT_EQ(form->Text(Control::Text14),
              std::string(size_t(form->MaxLength(Control::Text14)), 'x'));
    EXPECT_EQ(form->Text(Control::Text15), std::string("7"));
}

}  // namespace
}  // namespace rm
