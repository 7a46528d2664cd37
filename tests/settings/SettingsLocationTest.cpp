// Where the settings live: the rule for the program folder, the XDG folder,
// its creation (0700) and its first filling from the shipped defaults, on real
// folders, as root and as an ordinary user running a system-wide install.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdlib>

#include "app/SettingsIo.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/SettingsLocation.h"
#include "settings/SettingsFixture.h"

namespace rm {
namespace {

constexpr uid_t kOtherUid = 61873;
constexpr uid_t kOrdinaryUid = 61874;

mode_t ModeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 07777;
}

bool Chmod(const QString& path, mode_t mode) {
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

bool Chown(const QString& path, uid_t uid) {
    return ::chown(QFile::encodeName(path).constData(), uid, uid) == 0;
}

TEST(SettingsLocationRuleTest, OnlyAFolderOfTheUserThatNobodyElseMayWrite) {
    struct Row {
        uid_t owner;
        mode_t mode;
        uid_t euid;
        bool holds;
    } rows[] = {
        {1000, 0755, 1000, true},    // an install into ~/.local, an unpacked archive
        {1000, 0700, 1000, true},    // a private build folder
        {1000, 01755, 1000, true},   // sticky alone lets nobody else write
        {1000, 0775, 1000, false},   // the group may add or replace files
        {1000, 0757, 1000, false},   // anybody may
        {1000, 0777, 1000, false},   //
        {1000, 01777, 1000, false},  // like /tmp: sticky does not stop new files
        {0, 0755, 1000, false},      // /usr/lib/router-monitor: root's
        {1001, 0755, 1000, false},   // another user's program folder
        {1000, 0755, 0, false},      // root running a user's copy keeps its own
        {0, 0755, 0, true},          // root's own folder
    };
    for (const Row& r : rows)
        EXPECT_EQ(FolderMayHoldSettings(r.owner, r.mode, r.euid), r.holds)
            << r.owner << " " << std::oct << r.mode << " " << std::dec << r.euid;
}

TEST(SettingsLocationRuleTest, TheXdgFolderOrHomesDotConfig) {
    const QString home = QStringLiteral("/home/ann");
    EXPECT_EQ(UserSettingsFolder(QStringLiteral("/home/ann/cfg"), home),
              QStringLiteral("/home/ann/cfg/router-monitor"));
    EXPECT_EQ(UserSettingsFolder(QStringLiteral("/home/ann/cfg//"), home),
              QStringLiteral("/home/ann/cfg/router-monitor"));
    // Relative or empty is ignored, as the XDG rule says.
    EXPECT_EQ(UserSettingsFolder(QStringLiteral("cfg"), home),
              QStringLiteral("/home/ann/.config/router-monitor"));
    EXPECT_EQ(UserSettingsFolder(QStringLiteral("./cfg"), home),
              QStringLiteral("/home/ann/.config/router-monitor"));
    EXPECT_EQ(UserSettingsFolder(QString(), home),
              QStringLiteral("/home/ann/.config/router-monitor"));
    EXPECT_EQ(UserSettingsFolder(QString(), QStringLiteral("/home/ann/")),
              QStringLiteral("/home/ann/.config/router-monitor"));
    EXPECT_EQ(UserSettingsFolder(QString(), QStringLiteral("/")),
              QStringLiteral("/.config/router-monitor"));
    EXPECT_EQ(UserSettingsFolder(QString(), QStringLiteral("home/ann")), QString());
    EXPECT_EQ(UserSettingsFolder(QString(), QString()), QString());
}

// Sets an environment variable for one test and puts it back after.
class EnvVar {
  public:
    EnvVar(const char* name, const char* value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)) {
        old_ = qgetenv(name);
        if (value != nullptr)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    ~EnvVar() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

  private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

TEST(SettingsLocationRuleTest, HomeComesFromTheEnvironmentElseThePasswordDatabase) {
    const passwd* pw = ::getpwuid(::geteuid());
    ASSERT_NE(pw, nullptr);
    const QString fromDatabase = QFile::decodeName(pw->pw_dir);
    {
        EnvVar home("HOME", "/srv/elsewhere");
        EXPECT_EQ(HomeFolder(), QStringLiteral("/srv/elsewhere"));
    }
    {
        EnvVar home("HOME", nullptr);
        EXPECT_EQ(HomeFolder(), fromDatabase);
    }
    {
        EnvVar home("HOME", "relative/home");
        EXPECT_EQ(HomeFolder(), fromDatabase);
    }
}

class SettingsFolderTest : public ::testing::Test {
  protected:
    SettingsFolderTest() {
        program = QDir(top.path()).filePath(QStringLiteral("program"));
        user = QDir(top.path()).filePath(QStringLiteral("home/cfg/router-monitor"));
        QDir().mkpath(program);
        Chmod(program, 0755);
        for (const char* name : kAllSettingsFiles) WriteDefault(name, "\r\n");
        WriteDefault("savedata1.ini", "20\r\n");
        WriteDefault("savedata3.ini", "255\r\n");
    }
    void WriteDefault(const char* name, const QByteArray& bytes) const {
        QFile f(program + QLatin1Char('/') + QString::fromLatin1(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        Chmod(f.fileName(), 0644);
    }
    static QByteArray Bytes(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    static std::vector<const char*> Names() {
        return {std::begin(kAllSettingsFiles), std::end(kAllSettingsFiles)};
    }

    QTemporaryDir top;
    QString program;  // beside the executable: the defaults
    QString user;     // where a user of a system install keeps their settings
};

TEST_F(SettingsFolderTest, AProgramFolderOfTheUserHoldsTheSettingsItself) {
    auto folder = MakeLinuxSettingsFolder(program, user);
    EXPECT_EQ(folder->Path(), program);
    EXPECT_EQ(folder->DefaultsPath(), QString());
    QString error;
    EXPECT_TRUE(folder->Create(&error)) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(user));  // nothing made elsewhere
}

TEST_F(SettingsFolderTest, AnyOtherProgramFolderOnlyShipsTheDefaults) {
    for (auto setUp : {+[](const QString& p) { return Chmod(p, 0775); },
                       +[](const QString& p) { return Chmod(p, 0757); },
                       +[](const QString& p) { return Chmod(p, 0755) && Chown(p, kOtherUid); }}) {
        ASSERT_TRUE(setUp(program));
        auto folder = MakeLinuxSettingsFolder(program, user);
        EXPECT_EQ(folder->Path(), user);
        EXPECT_EQ(folder->DefaultsPath(), program);
        ASSERT_TRUE(Chown(program, ::geteuid()));
    }
}

TEST_F(SettingsFolderTest, TheEnvironmentChoosesTheUserFolder) {
    ASSERT_TRUE(Chmod(program, 0775));
    const QByteArray home = QFile::encodeName(top.path() + QStringLiteral("/home"));
    EnvVar homeVar("HOME", home.constData());
    {
        EnvVar xdg("XDG_CONFIG_HOME", "relative/cfg");
        EXPECT_EQ(MakeLinuxSettingsFolder(program)->Path(),
                  QFile::decodeName(home) + QStringLiteral("/.config/router-monitor"));
    }
    {
        EnvVar xdg("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(MakeLinuxSettingsFolder(program)->Path(),
                  QFile::decodeName(home) + QStringLiteral("/.config/router-monitor"));
    }
    {
        EnvVar xdg("XDG_CONFIG_HOME", "/srv/cfg");
        EXPECT_EQ(MakeLinuxSettingsFolder(program)->Path(),
                  QStringLiteral("/srv/cfg/router-monitor"));
    }
}

TEST_F(SettingsFolderTest, CreateMakesMissingFoldersForTheUserAlone) {
    ASSERT_TRUE(Chmod(program, 0775));
    const QString home = top.path() + QStringLiteral("/home");
    ASSERT_TRUE(QDir().mkpath(home));
    ASSERT_TRUE(Chmod(home, 0755));    // there already: left as it is
    const mode_t before = ::umask(0);  // even an open umask gives 0700
    auto folder = MakeLinuxSettingsFolder(program, user);
    QString error;
    const bool created = folder->Create(&error);
    ::umask(before);
    ASSERT_TRUE(created) << error.toStdString();
    EXPECT_EQ(ModeOf(home + QStringLiteral("/cfg")), 0700u);
    EXPECT_EQ(ModeOf(user), 0700u);
    EXPECT_EQ(ModeOf(home), 0755u);
    EXPECT_TRUE(folder->Create(&error));  // a second start finds it there
}

TEST_F(SettingsFolderTest, CreateRefusesAFolderOthersMayWriteOrAnotherUserOwns) {
    ASSERT_TRUE(Chmod(program, 0775));
    ASSERT_TRUE(QDir().mkpath(user));
    auto folder = MakeLinuxSettingsFolder(program, user);
    QString error;
    ASSERT_TRUE(Chmod(user, 0770));
    EXPECT_FALSE(folder->Create(&error));
    EXPECT_TRUE(error.contains(user) && error.contains(QStringLiteral("chmod go-w")))
        << error.toStdString();
    ASSERT_TRUE(Chmod(user, 0700));
    ASSERT_TRUE(Chown(user, kOtherUid));
    EXPECT_FALSE(folder->Create(&error));
    EXPECT_TRUE(error.contains(QStringLiteral("uid %1").arg(kOtherUid))) << error.toStdString();
    // A file where the folder must be.
    ASSERT_TRUE(QDir(user).removeRecursively());
    QFile f(user);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_FALSE(folder->Create(&error));
}

// A first start from a system-wide install: the real settings folder, the
// real store, a window wired to fakes otherwise.
class FirstStartTest : public SettingsFolderTest, protected FakeServices {
  protected:
    FirstStartTest() {
        Chmod(program, 0775);  // not the user's alone
        real = MakeLinuxSettingsFolder(program, user);
        services.settings = real.get();
        form = std::make_unique<Form1>(services);
    }
    std::unique_ptr<SettingsFolder> real;
    std::unique_ptr<Form1> form;
};

TEST_F(FirstStartTest, MissingFilesAreCopiedAndExistingOnesKept) {
    ASSERT_TRUE(QDir().mkpath(user));
    ASSERT_TRUE(Chmod(user, 0700));
    {
        QFile mine(user + QStringLiteral("/savedata1.ini"));
        ASSERT_TRUE(mine.open(QIODevice::WriteOnly));
        mine.write("45\r\n");
    }
    const mode_t before = ::umask(002);
    const bool loaded = LoadAllSettings(*form);
    ::umask(before);
    ASSERT_TRUE(loaded) << (messages.shown.empty() ? "" : messages.shown[0].text.toStdString());

    EXPECT_EQ(form->Text8->text(), QStringLiteral("45"));
    EXPECT_EQ(form->Text11->text(), QStringLiteral("255"));
    EXPECT_EQ(Bytes(user + QStringLiteral("/savedata1.ini")), QByteArray("45\r\n"));
    for (const char* name : kAllSettingsFiles) {
        if (std::string(name) == "savedata1.ini") continue;
        const QString copy = user + QLatin1Char('/') + QString::fromLatin1(name);
        EXPECT_EQ(Bytes(copy), Bytes(program + QLatin1Char('/') + QString::fromLatin1(name)))
            << name;
        EXPECT_EQ(ModeOf(copy), 0644u) << name;
    }
    // Only the fifteen: no temporary left over.
    EXPECT_EQ(QDir(user).entryList(QDir::Files | QDir::Hidden).size(), 15);

    // Later starts never copy over what is there, and saves go to the user's folder.
    WriteDefault("savedata3.ini", "99\r\n");
    form->Text8->setText(QStringLiteral("50"));
    SaveAllSettings(*form);
    ASSERT_TRUE(messages.shown.empty()) << messages.shown[0].text.toStdString();
    Form1 again(services);
    ASSERT_TRUE(LoadAllSettings(again));
    EXPECT_EQ(again.Text8->text(), QStringLiteral("50"));
    EXPECT_EQ(again.Text11->text(), QStringLiteral("255"));
    EXPECT_EQ(Bytes(program + QStringLiteral("/savedata1.ini")), QByteArray("20\r\n"));
}

TEST_F(FirstStartTest, ADefaultOthersMayWriteIsNotCopied) {
    // The old package left its files writable by everybody.
    ASSERT_TRUE(Chmod(program + QStringLiteral("/savedata5.ini"), 0666));
    EXPECT_FALSE(LoadAllSettings(*form));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(program + QStringLiteral("/savedata5.ini")))
        << messages.shown[0].text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(user + QStringLiteral("/savedata5.ini")));
}

TEST_F(FirstStartTest, AMissingDefaultIsNamed) {
    ASSERT_TRUE(QFile::remove(program + QStringLiteral("/savedata13.ini")));
    EXPECT_FALSE(LoadAllSettings(*form));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.contains(program + QStringLiteral("/savedata13.ini")));
}

// An ordinary user starting a program installed by root: the settings go to
// their own ~/.config, filled from root's defaults, and load.
TEST_F(SettingsFolderTest, AnOrdinaryUserOfASystemInstallGetsTheirOwnFolder) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    ASSERT_TRUE(Chmod(top.path(), 0755));
    const QString home = top.path() + QStringLiteral("/ann");
    ASSERT_TRUE(QDir().mkpath(home));
    ASSERT_TRUE(Chmod(home, 0755));
    ASSERT_TRUE(Chown(home, kOrdinaryUid));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 ||
            ::setresgid(kOrdinaryUid, kOrdinaryUid, kOrdinaryUid) != 0 ||
            ::setresuid(kOrdinaryUid, kOrdinaryUid, kOrdinaryUid) != 0)
            ::_exit(10);
        ::setenv("HOME", QFile::encodeName(home).constData(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
        auto folder = MakeLinuxSettingsFolder(program);
        if (folder->Path() != home + QStringLiteral("/.config/router-monitor")) ::_exit(11);
        QString error, failed;
        if (!folder->Create(&error)) ::_exit(12);
        if (!CopyMissingSettingsFiles(folder->DefaultsPath(), folder->Path(), Names(), &failed,
                                      &error))
            ::_exit(13);
        QByteArray value;
        if (!ReadSettingsValue(folder->Path() + QStringLiteral("/savedata3.ini"), 100, &value,
                               &error) ||
            value != "255")
            ::_exit(14);
        SaveFailure failure;
        if (!WriteSettingsFiles(folder->Path(), {{"savedata3.ini", "40\r\n"}}, &failure))
            ::_exit(15);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    struct stat st {};
    ASSERT_EQ(
        ::stat(QFile::encodeName(home + QStringLiteral("/.config/router-monitor/savedata3.ini"))
                   .constData(),
               &st),
        0);
    EXPECT_EQ(st.st_uid, kOrdinaryUid);
    EXPECT_EQ(ModeOf(home + QStringLiteral("/.config")), 0700u);
    EXPECT_EQ(Bytes(home + QStringLiteral("/.config/router-monitor/savedata3.ini")),
              QByteArray("40\r\n"));
    EXPECT_EQ(Bytes(program + QStringLiteral("/savedata3.ini")), QByteArray("255\r\n"));
}

}  // namespace
}  // namespace rm
