// LoadAllSettings and SaveAllSettings on real files in a temporary program
// folder: the bytes written, the values read back, bad files, failed saves.
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <atomic>
#include <random>

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
    form->Text8->setText(QStringLiteral("20"));
    form->Text10->setText(QStringLiteral("1"));
    form->Text11->setText(QStringLiteral("255"));
    form->Text14->setText(QStringLiteral("迅雷"));
    form->Text15->setText(QStringLiteral("/opt/thunder/迅雷5.exe"));
    form->Text9[0]->setText(QStringLiteral(" 00-1A-2B-3C-4D-5E "));
    form->Text9[3]->setText(QString());
    form->Text9[9]->setText(QStringLiteral("abc"));
    WriteFile("savedata6.ini", "keep me");
    WriteFile("savedata9.ini", "and me\r\n");

    SaveAllSettings(*form);

    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(ReadFile("savedata1.ini"), QByteArray("20\r\n"));
    EXPECT_EQ(ReadFile("savedata2.ini"), QByteArray("1\r\n"));
    EXPECT_EQ(ReadFile("savedata3.ini"), QByteArray("255\r\n"));
    EXPECT_EQ(ReadFile("savedata4.ini"), QByteArray("\xD1\xB8\xC0\xD7\r\n"));
    EXPECT_EQ(ReadFile("savedata5.ini"), QByteArray("/opt/thunder/\xD1\xB8\xC0\xD7"
                                                    "5.exe\r\n"));
    EXPECT_EQ(ReadFile("savedata10.ini"), QByteArray(" 00-1A-2B-3C-4D-5E \r\n"));
    EXPECT_EQ(ReadFile("savedata13.ini"), QByteArray("\r\n"));
    EXPECT_EQ(ReadFile("savedata19.ini"), QByteArray("abc\r\n"));
    // Files 6 to 9 are no settings files; nothing else is left in the folder.
    EXPECT_EQ(ReadFile("savedata6.ini"), QByteArray("keep me"));
    EXPECT_EQ(ReadFile("savedata9.ini"), QByteArray("and me\r\n"));
    EXPECT_EQ(Snapshot().size(), 17u);
}

mode_t ModeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 07777;
}

TEST_F(SaveAllSettingsTest, KeepsTheModeOfTheFileItReplacesButNeverLetsOthersWrite) {
    ASSERT_EQ(::chmod(QFile::encodeName(PathOf("savedata1.ini")).constData(), 0640), 0);
    // As the old package left them: a save must make them loadable again.
    ASSERT_EQ(::chmod(QFile::encodeName(PathOf("savedata5.ini")).constData(), 0666), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(PathOf("savedata4.ini")).constData(), 0775), 0);
    SaveAllSettings(*form);
    ASSERT_TRUE(messages.shown.empty()) << messages.shown[0].text.toStdString();
    EXPECT_EQ(ModeOf(PathOf("savedata1.ini")), 0640u);
    EXPECT_EQ(ModeOf(PathOf("savedata5.ini")), 0644u);
    EXPECT_EQ(ModeOf(PathOf("savedata4.ini")), 0644u);
    EXPECT_EQ(ModeOf(PathOf(".savedata.lock")), 0644u);
    ASSERT_TRUE(LoadAllSettings(*form));
}

TEST_F(SaveAllSettingsTest, ANewFileIsNotGroupWritableUnderAnOpenUmask) {
    const mode_t before = ::umask(002);
    ASSERT_TRUE(QFile::remove(PathOf("savedata3.ini")));
    SaveAllSettings(*form);
    ::umask(before);
    EXPECT_EQ(ModeOf(PathOf("savedata3.ini")), 0644u);
    EXPECT_EQ(ModeOf(PathOf(".savedata.lock")), 0644u);
}

TEST_F(SaveAllSettingsTest, ANewFileTakesTheUmaskWhichIsNeverChanged) {
    const mode_t before = ::umask(027);
    ASSERT_TRUE(QFile::remove(PathOf("savedata1.ini")));
    umaskCalls = 0;

    SaveAllSettings(*form);

    EXPECT_EQ(umaskCalls.load(), 0);
    ::umask(before);
    EXPECT_EQ(QFileInfo(PathOf("savedata1.ini")).permissions() & 0x0777,
              QFileDevice::Permissions(0x0640));
    EXPECT_EQ(ReadFile("savedata1.ini"), QByteArray("20\r\n"));
}

TEST_F(SaveAllSettingsTest, AReadOnlyFileRefusesTheSaveAndChangesNothing) {
    // Root is not stopped by the missing write bits; the save must be.
    const QByteArray readOnly = QFile::encodeName(PathOf("savedata5.ini"));
    ASSERT_EQ(::chmod(readOnly.constData(), 0444), 0);
    const auto before = Snapshot();
    form->Text8->setText(QStringLiteral("99"));
    form->Text15->setText(QStringLiteral("/opt/thunder/new"));

    SaveAllSettings(*form);

    EXPECT_EQ(Snapshot(), before);  // no file changed, no temporary left
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(PathOf("savedata5.ini")))
        << messages.shown[0].text.toStdString();
    EXPECT_TRUE(messages.shown[0].text.contains(QString::fromLocal8Bit(strerror(EACCES))));
    struct stat st {};
    ASSERT_EQ(::stat(readOnly.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    EXPECT_EQ(form->Text8->text(), QStringLiteral("99"));

    ASSERT_EQ(::chmod(readOnly.constData(), 0644), 0);  // writable again: the save goes through
    SaveAllSettings(*form);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(ReadFile("savedata1.ini"), QByteArray("99\r\n"));
    EXPECT_EQ(ReadFile("savedata5.ini"), QByteArray("/opt/thunder/new\r\n"));
}

TEST_F(SaveAllSettingsTest, APlantedLinkIsReplacedAndTheFileItNamesIsUntouched) {
    // Someone who may write in the folder links a settings file to a file of
    // the saving user elsewhere: a save that followed the link would
    // overwrite that file. (Links were once followed on purpose; no more.)
    QTemporaryDir home;
    const QString victim = home.filePath(QStringLiteral(".bashrc"));
    const QByteArray victimBytes("export PATH=$HOME/bin:$PATH\n");
    {
        QFile f(victim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(victimBytes);
    }
    const QString notThere = home.filePath(QStringLiteral("created-by-save"));
    for (const char* name : {"savedata5.ini", "savedata10.ini"})
        ASSERT_TRUE(QFile::remove(PathOf(name)));
    ASSERT_TRUE(QFile::link(victim, PathOf("savedata5.ini")));
    ASSERT_TRUE(QFile::link(notThere, PathOf("savedata10.ini")));  // dangling
    form->Text15->setText(QStringLiteral("/opt/thunder/迅雷"));
    form->Text9[0]->setText(QStringLiteral("00-11-22-33-44-55"));

    SaveAllSettings(*form);

    ASSERT_TRUE(messages.shown.empty()) << messages.shown[0].text.toStdString();
    for (const char* name : {"savedata5.ini", "savedata10.ini"}) {
        const QFileInfo info(PathOf(name));
        EXPECT_FALSE(info.isSymLink()) << name;
        EXPECT_TRUE(info.isFile()) << name;
    }
    EXPECT_EQ(ReadFile("savedata5.ini"), QByteArray("/opt/thunder/\xD1\xB8\xC0\xD7\r\n"));
    EXPECT_EQ(ReadFile("savedata10.ini"), QByteArray("00-11-22-33-44-55\r\n"));
    QFile f(victim);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), victimBytes);
    EXPECT_FALSE(QFileInfo::exists(notThere));
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST_F(SaveAllSettingsTest, APlantedLockLinkRefusesTheSaveAndIsNotFollowed) {
    QTemporaryDir home;
    const QString victim = home.filePath(QStringLiteral(".profile"));
    {
        QFile f(victim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("umask 022\n");
    }
    ASSERT_TRUE(QFile::link(victim, PathOf(".savedata.lock")));
    const auto before = Snapshot();
    form->Text8->setText(QStringLiteral("99"));

    SaveAllSettings(*form);

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(PathOf(".savedata.lock")))
        << messages.shown[0].text.toStdString();
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(QFileInfo(PathOf(".savedata.lock")).isSymLink());
    QFile f(victim);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("umask 022\n"));
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
    const QByteArray gone = QByteArray::number(GonePid());
    const QByteArray alive = QByteArray::number(::getppid());
    const QByteArray leftovers[] = {".savedata1.ini." + gone + ".Ab3xYz",
                                    ".savedata19.ini." + gone + ".000000",
                                    ".savedata12.ini." + gone + ".zzzzzz"};
    const QByteArray kept[] = {
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
    for (const QByteArray& name : leftovers) WriteFile(name.constData(), "20\r\n");
    for (const QByteArray& name : kept) WriteFile(name.constData(), "mine");
    const QByteArray dirName = ".savedata2.ini." + gone + ".dirXYZ";
    ASSERT_TRUE(QDir(dir.path()).mkdir(QString::fromLatin1(dirName)));

    SaveAllSettings(*form);

    EXPECT_TRUE(messages.shown.empty());
    for (const QByteArray& name : leftovers)
        EXPECT_FALSE(QFileInfo::exists(PathOf(name.constData()))) << name.constData();
    for (const QByteArray& name : kept)
        EXPECT_EQ(ReadFile(name.constData()), QByteArray("mine")) << name.constData();
    EXPECT_TRUE(QFileInfo(PathOf(dirName.constData())).isDir());
    EXPECT_EQ(Snapshot().size(), 15u + std::size(kept) + 1u);
}

TEST_F(SaveAllSettingsTest, TextIsSavedAndLoadedAsItStands) {
    form->Text8->setText(QStringLiteral("abc"));
    SaveAllSettings(*form);
    EXPECT_EQ(ReadFile("savedata1.ini"), QByteArray("abc\r\n"));

    Form1 restarted(services);
    ASSERT_TRUE(LoadAllSettings(restarted));
    EXPECT_EQ(restarted.Text8->text(), QStringLiteral("abc"));
}

TEST_F(SaveAllSettingsTest, WhatWasSavedIsWhatTheNextStartShows) {
    const auto stored = StoredSettings(*form);
    std::mt19937 rng(15);
    for (size_t i = 0; i < stored.size(); ++i) {
        // Chinese, astral and GB18030-only characters, spaces and an empty box.
        static const QString kSamples[] = {QStringLiteral("迅雷"), QStringLiteral(" x "),
                                           QString::fromUcs4(U"\U0001F600⺁é"), QString(),
                                           QStringLiteral("00-11-22-33-44-55")};
        stored[i].control->setText(kSamples[rng() % std::size(kSamples)] + QString::number(i));
    }
    SaveAllSettings(*form);

    Form1 restarted(services);
    ASSERT_TRUE(LoadAllSettings(restarted));
    const auto loaded = StoredSettings(restarted);
    for (size_t i = 0; i < stored.size(); ++i)
        EXPECT_EQ(loaded[i].control->text(), stored[i].control->text()) << stored[i].fileName;
}

TEST_F(SaveAllSettingsTest, ADirectoryWhereAFileMustGoChangesNothing) {
    ASSERT_TRUE(QFile::remove(PathOf("savedata12.ini")));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("savedata12.ini")));
    const auto before = Snapshot();
    form->Text8->setText(QStringLiteral("99"));
    form->Text9[9]->setText(QStringLiteral("edited"));

    SaveAllSettings(*form);

    EXPECT_EQ(Snapshot(), before);  // no file changed, no temporary left
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(PathOf("savedata12.ini")));
    EXPECT_TRUE(messages.shown[0].text.contains(QString::fromLocal8Bit(strerror(EISDIR))));
    EXPECT_EQ(messages.shown[0].style, 48);                // an exclamation: the program goes on
    EXPECT_EQ(form->Text8->text(), QStringLiteral("99"));  // the edits are still there
    EXPECT_EQ(form->Text9[9]->text(), QStringLiteral("edited"));
}

TEST_F(SaveAllSettingsTest, AMissingFolderChangesNothingAndSaysWhy) {
    settingsFolder.path = dir.filePath(QStringLiteral("gone"));
    SaveAllSettings(*form);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(settingsFolder.path));
    EXPECT_TRUE(messages.shown[0].text.contains(QString::fromLocal8Bit(strerror(ENOENT))));
    EXPECT_FALSE(QFileInfo::exists(settingsFolder.path));
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

    ASSERT_TRUE(LoadAllSettings(*form));

    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(form->Text8->text(), QStringLiteral("30"));
    EXPECT_EQ(form->Text10->text(), QString());
    EXPECT_EQ(form->Text11->text(), QStringLiteral("15"));
    EXPECT_EQ(form->Text14->text(), QStringLiteral("迅雷"));
    EXPECT_EQ(form->Text9[0]->text(), QStringLiteral("a\nb\n"));
    EXPECT_EQ(form->Text9[1]->text(), QStringLiteral(" 00-1A-2B-3C-4D-5E "));
    EXPECT_EQ(form->Text9[2]->text(), QString());
    EXPECT_EQ(form->Text9[9]->text(), QStringLiteral("abc"));
}

TEST_F(LoadAllSettingsTest, FilesSixToNineAreNeitherReadNorNeeded) {
    // Present with values that would show if read, or as directories that
    // would fail a read: either way the load neither uses nor minds them.
    WriteFile("savedata6.ini", "6\r\n");
    WriteFile("savedata7.ini", "7\r\n");
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("savedata8.ini")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(PathOf("savedata9.ini")).constData(), 0644), 0);

    ASSERT_TRUE(LoadAllSettings(*form));

    EXPECT_TRUE(messages.shown.empty());
    const auto loaded = StoredSettings(*form);
    const QString shipped[15] = {QStringLiteral("20"), QStringLiteral("1"), QStringLiteral("255")};
    for (size_t i = 0; i < loaded.size(); ++i)
        EXPECT_EQ(loaded[i].control->text(), shipped[i]) << loaded[i].fileName;
}

TEST_F(LoadAllSettingsTest, AMissingFileEndsStartUpNamingIt) {
    ASSERT_TRUE(QFile::remove(PathOf("savedata3.ini")));
    form->Text14->setText(QStringLiteral("untouched"));

    EXPECT_FALSE(LoadAllSettings(*form));

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(PathOf("savedata3.ini")));
    EXPECT_TRUE(messages.shown[0].text.contains(QString::fromLocal8Bit(strerror(ENOENT))));
    EXPECT_EQ(messages.shown[0].style, 16);  // a stop: the program cannot start
    EXPECT_EQ(form->Text14->text(), QStringLiteral("untouched"));  // it stopped there
}

TEST_F(LoadAllSettingsTest, FilesThatAreNoFilesFailWithoutHanging) {
    ASSERT_TRUE(QFile::remove(PathOf("savedata4.ini")));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("savedata4.ini")));
    EXPECT_FALSE(LoadAllSettings(*form));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(QString::fromLocal8Bit(strerror(EISDIR))));

    // A FIFO has no writer: opening or reading it must not block start-up.
    ASSERT_TRUE(QDir(dir.path()).rmdir(QStringLiteral("savedata4.ini")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(PathOf("savedata4.ini")).constData(), 0644), 0);
    EXPECT_FALSE(LoadAllSettings(*form));
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_TRUE(messages.shown[1].text.contains(PathOf("savedata4.ini")));
}

TEST_F(LoadAllSettingsTest, SurvivesGarbageAndHugeFiles) {
    std::mt19937 rng(50);
    QByteArray garbage(4096, '\0');
    for (char& c : garbage) c = char(rng());
    WriteFile("savedata1.ini", garbage);
    WriteFile("savedata2.ini", QByteArray("\x81\xFF\x00\x80\xFE", 5));
    // 50 MB: one line without any line end, and many lines ending in "7".
    WriteFile("savedata4.ini", QByteArray(50 * 1024 * 1024, 'x'));
    QByteArray lines;
    while (lines.size() < 50 * 1024 * 1024) lines += QByteArray(1000, 'y') + "\r\n";
    WriteFile("savedata5.ini", lines + "7\r\n");

    ASSERT_TRUE(LoadAllSettings(*form));

    EXPECT_EQ(form->Text10->text(), QString(QChar(0xFFFD)) + QChar(0xFFFD) + QChar(0) +
                                        QStringLiteral("€") + QChar(0xFFFD));
    EXPECT_EQ(form->Text14->text(), QString(form->Text14->maxLength(), QLatin1Char('x')));
    EXPECT_EQ(form->Text15->text(), QStringLiteral("7"));
}

}  // namespace
}  // namespace rm
