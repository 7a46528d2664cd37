// Where the settings live: the rule for the program folder, the XDG folder,
// its creation (0700) and its first filling from the shipped defaults, on real
// folders, as root and as an ordinary user running a system-wide install.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/SettingsIo.h"
#include "platform/linux/SettingsLocation.h"
#include "settings/SettingsFixture.h"

namespace rm {
namespace {

constexpr uid_t kOtherUid = 61873;
constexpr uid_t kOrdinaryUid = 61874;

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 07777;
}

bool Chmod(const std::string& path, mode_t mode) {
    return ::chmod(path.c_str(), mode) == 0;
}

bool Chown(const std::string& path, uid_t uid) {
    return ::chown(path.c_str(), uid, uid) == 0;
}

// Makes `path` and the folders above it (as mkdir -p).
bool MakePath(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return !ec && IsDir(path);
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
    const std::string home = "/home/ann";
    EXPECT_EQ(UserSettingsFolder(std::string("/home/ann/cfg"), home),
              std::string("/home/ann/cfg/router-monitor"));
    EXPECT_EQ(UserSettingsFolder(std::string("/home/ann/cfg//"), home),
              std::string("/home/ann/cfg/router-monitor"));
    // Relative or empty is ignored, as the XDG rule says.
    EXPECT_EQ(UserSettingsFolder(std::string("cfg"), home),
              std::string("/home/ann/.config/router-monitor"));
    EXPECT_EQ(UserSettingsFolder(std::string("./cfg"), home),
              std::string("/home/ann/.config/router-monitor"));
    EXPECT_EQ(UserSettingsFolder("", home), std::string("/home/ann/.config/router-monitor"));
    EXPECT_EQ(UserSettingsFolder("", std::string("/home/ann/")),
              std::string("/home/ann/.config/router-monitor"));
    EXPECT_EQ(UserSettingsFolder("", std::string("/")), std::string("/.config/router-monitor"));
    EXPECT_EQ(UserSettingsFolder("", std::string("home/ann")), "");
    EXPECT_EQ(UserSettingsFolder("", ""), "");
}

// Sets an environment variable for one test and puts it back after.
class EnvVar {
  public:
    EnvVar(const char* name, const char* value) : name_(name), had_(std::getenv(name) != nullptr) {
        if (had_) old_ = std::getenv(name);
        if (value != nullptr)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~EnvVar() {
        if (had_)
            ::setenv(name_, old_.c_str(), 1);
        else
            ::unsetenv(name_);
    }

  private:
    const char* name_;
    bool had_;
    std::string old_;
};

TEST(SettingsLocationRuleTest, HomeComesFromTheEnvironmentElseThePasswordDatabase) {
    const passwd* pw = ::getpwuid(::geteuid());
    ASSERT_NE(pw, nullptr);
    const std::string fromDatabase = pw->pw_dir;
    {
        EnvVar home("HOME", "/srv/elsewhere");
        EXPECT_EQ(HomeFolder(), std::string("/srv/elsewhere"));
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
        program = top.filePath("program");
        user = top.filePath("home/cfg/router-monitor");
        MakePath(program);
        Chmod(program, 0755);
        for (const char* name : kAllSettingsFiles) WriteDefault(name, "\r\n");
        WriteDefault("savedata1.ini", "20\r\n");
        WriteDefault("savedata3.ini", "255\r\n");
    }
    void WriteDefault(const char* name, const std::string& bytes) const {
        const std::string path = program + "/" + name;
        ASSERT_TRUE(WriteBytes(path, bytes)) << path;
        Chmod(path, 0644);
    }
    static std::string Bytes(const std::string& path) { return ReadBytes(path); }
    static std::vector<const char*> Names() {
        return {std::begin(kAllSettingsFiles), std::end(kAllSettingsFiles)};
    }

    TempDir top;
    std::string program;  // beside the executable: the defaults
    std::string user;     // where a user of a system install keeps their settings
};

TEST_F(SettingsFolderTest, AProgramFolderOfTheUserHoldsTheSettingsItself) {
    auto folder = MakeLinuxSettingsFolder(program, user);
    EXPECT_EQ(folder->Path(), program);
    EXPECT_EQ(folder->DefaultsPath(), "");
    std::string error;
    EXPECT_TRUE(folder->Create(&error)) << error;
    EXPECT_FALSE(Exists(user));  // nothing made elsewhere
}

TEST_F(SettingsFolderTest, AnyOtherProgramFolderOnlyShipsTheDefaults) {
    for (auto setUp :
         {+[](const std::string& p) { return Chmod(p, 0775); },
          +[](const std::string& p) { return Chmod(p, 0757); },
          +[](const std::string& p) { return Chmod(p, 0755) && Chown(p, kOtherUid); }}) {
        ASSERT_TRUE(setUp(program));
        auto folder = MakeLinuxSettingsFolder(program, user);
        EXPECT_EQ(folder->Path(), user);
        EXPECT_EQ(folder->DefaultsPath(), program);
        ASSERT_TRUE(Chown(program, ::geteuid()));
    }
}

TEST_F(SettingsFolderTest, TheEnvironmentChoosesTheUserFolder) {
    ASSERT_TRUE(Chmod(program, 0775));
    const std::string home = top.path() + "/home";
    EnvVar homeVar("HOME", home.c_str());
    {
        EnvVar xdg("XDG_CONFIG_HOME", "relative/cfg");
        EXPECT_EQ(MakeLinuxSettingsFolder(program)->Path(), home + "/.config/router-monitor");
    }
    {
        EnvVar xdg("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(MakeLinuxSettingsFolder(program)->Path(), home + "/.config/router-monitor");
    }
    {
        EnvVar xdg("XDG_CONFIG_HOME", "/srv/cfg");
        EXPECT_EQ(MakeLinuxSettingsFolder(program)->Path(), std::string("/srv/cfg/router-monitor"));
    }
}

TEST_F(SettingsFolderTest, CreateMakesMissingFoldersForTheUserAlone) {
    ASSERT_TRUE(Chmod(program, 0775));
    const std::string home = top.path() + "/home";
    ASSERT_TRUE(MakePath(home));
    ASSERT_TRUE(Chmod(home, 0755));    // there already: left as it is
    const mode_t before = ::umask(0);  // even an open umask gives 0700
    auto folder = MakeLinuxSettingsFolder(program, user);
    std::string error;
    const bool created = folder->Create(&error);
    ::umask(before);
    ASSERT_TRUE(created) << error;
    EXPECT_EQ(ModeOf(home + std::string("/cfg")), 0700u);
    EXPECT_EQ(ModeOf(user), 0700u);
    EXPECT_EQ(ModeOf(home), 0755u);
    EXPECT_TRUE(folder->Create(&error));  // a second start finds it there
}

TEST_F(SettingsFolderTest, CreateRefusesAFolderOthersMayWriteOrAnotherUserOwns) {
    ASSERT_TRUE(Chmod(program, 0775));
    ASSERT_TRUE(MakePath(user));
    auto folder = MakeLinuxSettingsFolder(program, user);
    std::string error;
    ASSERT_TRUE(Chmod(user, 0770));
    EXPECT_FALSE(folder->Create(&error));
    EXPECT_TRUE(Contains(error, user) && Contains(error, "chmod go-w")) << error;
    // The mode as chmod takes it, and the words of the message as they were.
    EXPECT_EQ(error, "设置文件夹 " + user +
                         " 可被其他用户写入（权限 0770），请用 chmod go-w 去掉他们的写权限");
    ASSERT_TRUE(Chmod(user, 0700));
    ASSERT_TRUE(Chown(user, kOtherUid));
    EXPECT_FALSE(folder->Create(&error));
    EXPECT_EQ(error,
              "设置文件夹 " + user + " 属于另一个用户（uid " + std::to_string(kOtherUid) + "）");
    // A file where the folder must be.
    std::error_code ec;
    ASSERT_TRUE(std::filesystem::remove_all(user, ec) > 0 && !ec);
    ASSERT_TRUE(WriteBytes(user, ""));
    EXPECT_FALSE(folder->Create(&error));
    EXPECT_EQ(error, "设置文件夹 " + user + " 不是文件夹");
}

// A first start from a system-wide install: the real settings folder, the
// real store, a window wired to fakes otherwise.
class FirstStartTest : public SettingsFolderTest, protected FakeServices {
  protected:
    FirstStartTest() {
        Chmod(program, 0775);  // not the user's alone
        real = MakeLinuxSettingsFolder(program, user);
        files = MakeLinuxSettingsFiles(*real);
        services.settings = files.get();
        services.codec = narrow.get();
        monitor = NewMonitor(&form);
    }
    std::unique_ptr<Monitor> NewMonitor(BoundedForm1** window) {
        return std::make_unique<Monitor>(services, [window](Form1Events&) {
            auto w = std::make_unique<BoundedForm1>();
            *window = w.get();
            return w;
        });
    }
    std::unique_ptr<SettingsFolder> real;
    std::unique_ptr<SettingsFiles> files;
    std::unique_ptr<NarrowCodec> narrow = MakeIconvNarrowCodec();
    BoundedForm1* form = nullptr;
    std::unique_ptr<Monitor> monitor;
};

TEST_F(FirstStartTest, MissingFilesAreCopiedAndExistingOnesKept) {
    ASSERT_TRUE(MakePath(user));
    ASSERT_TRUE(Chmod(user, 0700));
    ASSERT_TRUE(WriteBytes(user + "/savedata1.ini", "45\r\n"));
    const mode_t before = ::umask(002);
    const bool loaded = LoadAllSettings(*monitor);
    ::umask(before);
    ASSERT_TRUE(loaded) << (messages.shown.empty() ? "" : messages.shown[0].text);

    EXPECT_EQ(form->Text(Control::Text8), std::string("45"));
    EXPECT_EQ(form->Text(Control::Text11), std::string("255"));
    EXPECT_EQ(Bytes(user + std::string("/savedata1.ini")), std::string("45\r\n"));
    for (const char* name : kAllSettingsFiles) {
        if (std::string(name) == "savedata1.ini") continue;
        const std::string copy = user + "/" + name;
        EXPECT_EQ(Bytes(copy), Bytes(program + "/" + name)) << name;
        EXPECT_EQ(ModeOf(copy), 0644u) << name;
    }
    // Only the fifteen: no temporary left over.
    EXPECT_EQ(Entries(user).size(), 15u);

    // Later starts never copy over what is there, and saves go to the user's folder.
    WriteDefault("savedata3.ini", "99\r\n");
    form->SetText(Control::Text8, std::string("50"));
    SaveAllSettings(*monitor);
    ASSERT_TRUE(messages.shown.empty()) << messages.shown[0].text;
    BoundedForm1* again = nullptr;
    auto restarted = NewMonitor(&again);
    ASSERT_TRUE(LoadAllSettings(*restarted));
    EXPECT_EQ(again->Text(Control::Text8), std::string("50"));
    EXPECT_EQ(again->Text(Control::Text11), std::string("255"));
    EXPECT_EQ(Bytes(program + std::string("/savedata1.ini")), std::string("20\r\n"));
}

TEST_F(FirstStartTest, ADefaultOthersMayWriteIsNotCopied) {
    // The old package left its files writable by everybody.
    ASSERT_TRUE(Chmod(program + std::string("/savedata5.ini"), 0666));
    EXPECT_FALSE(LoadAllSettings(*monitor));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(Contains(messages.shown[0].text, program + std::string("/savedata5.ini")))
        << messages.shown[0].text;
    EXPECT_FALSE(Exists(user + std::string("/savedata5.ini")));
}

TEST_F(FirstStartTest, AMissingDefaultIsNamed) {
    ASSERT_EQ(::unlink((program + "/savedata13.ini").c_str()), 0);
    EXPECT_FALSE(LoadAllSettings(*monitor));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(Contains(messages.shown[0].text, program + std::string("/savedata13.ini")));
}

// An ordinary user starting a program installed by root: the settings go to
// their own ~/.config, filled from root's defaults, and load.
TEST_F(SettingsFolderTest, AnOrdinaryUserOfASystemInstallGetsTheirOwnFolder) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    ASSERT_TRUE(Chmod(top.path(), 0755));
    const std::string home = top.path() + "/ann";
    ASSERT_TRUE(MakePath(home));
    ASSERT_TRUE(Chmod(home, 0755));
    ASSERT_TRUE(Chown(home, kOrdinaryUid));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 ||
            ::setresgid(kOrdinaryUid, kOrdinaryUid, kOrdinaryUid) != 0 ||
            ::setresuid(kOrdinaryUid, kOrdinaryUid, kOrdinaryUid) != 0)
            ::_exit(10);
        ::setenv("HOME", home.c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
        auto folder = MakeLinuxSettingsFolder(program);
        if (folder->Path() != home + std::string("/.config/router-monitor")) ::_exit(11);
        std::string error, failed;
        if (!folder->Create(&error)) ::_exit(12);
        if (!CopyMissingSettingsFiles(folder->DefaultsPath(), folder->Path(), Names(), &failed,
                                      &error))
            ::_exit(13);
        std::string value;
        if (!ReadSettingsValue(folder->Path() + std::string("/savedata3.ini"), 100, &value,
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
    ASSERT_EQ(::stat((home + "/.config/router-monitor/savedata3.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kOrdinaryUid);
    EXPECT_EQ(ModeOf(home + std::string("/.config")), 0700u);
    EXPECT_EQ(Bytes(home + std::string("/.config/router-monitor/savedata3.ini")),
              std::string("40\r\n"));
    EXPECT_EQ(Bytes(program + std::string("/savedata3.ini")), std::string("255\r\n"));
}

}  // namespace
}  // namespace rm
