// Saves that the system refuses: a read-only folder and a full disk. Run in a
// private mount namespace (private-mounts.sh), because root, who runs the
// tests, is not stopped by file permissions.
#include <fcntl.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "settings/SettingsFixture.h"

namespace rm {
namespace {

class SettingsMountTest : public SettingsFixture {
  protected:
    void SetUp() override {
        const char* flag = std::getenv("RM_PRIVATE_MOUNTS");
        if (flag == nullptr || std::string(flag) != "1")
            GTEST_SKIP() << "no private mount namespace (needs root and unshare)";
    }
    void TearDown() override {
        for (const std::string& m : mounted) ::umount2(m.c_str(), MNT_DETACH);
    }

    bool Mount(const char* source, const std::string& target, const char* type, unsigned long flags,
               const char* options = nullptr) {
        if (::mount(source, target.c_str(), type, flags, options) != 0) {
            ADD_FAILURE() << "mount " << target << ": " << std::strerror(errno);
            return false;
        }
        if (!(flags & MS_REMOUNT)) mounted.insert(mounted.begin(), target);
        return true;
    }

    // `what`: the file (or the folder) the message must name.
    void ExpectRefusedAndUnchanged(int err, const std::string& what) {
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_TRUE(Contains(messages.shown[0].text, what)) << messages.shown[0].text;
        EXPECT_TRUE(Contains(messages.shown[0].text, std::strerror(err))) << messages.shown[0].text;
        EXPECT_EQ(form->Text(Control::Text8), "edited");  // the edit is kept
    }

    std::vector<std::string> mounted;
};

TEST_F(SettingsMountTest, AReadOnlyFolderRefusesTheSaveAndChangesNothing) {
    ASSERT_TRUE(Mount(dir.path().c_str(), dir.path(), nullptr, MS_BIND));
    ASSERT_TRUE(Mount(nullptr, dir.path(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY));
    const auto before = Snapshot();
    form->SetText(Control::Text8, "edited");

    SaveAllSettings(*monitor);

    // Stopped at the folder: not even the lock file could be made.
    ExpectRefusedAndUnchanged(EROFS, dir.path());
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(SettingsMountTest, AFullDiskRefusesTheSaveAndChangesNothing) {
    const std::string small = dir.filePath("small");
    ASSERT_EQ(::mkdir(small.c_str(), 0755), 0);
    ASSERT_TRUE(Mount("tmpfs", small, "tmpfs", 0, "size=64k,mode=0755"));
    settingsFolder.path = small;
    SaveAllSettings(*monitor);  // the files as they were before the disk filled up
    ASSERT_TRUE(messages.shown.empty());
    {
        const int fd = ::open((small + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        const std::string block(4096, 'f');
        while (::write(fd, block.data(), block.size()) == ssize_t(block.size())) {
        }
        ::close(fd);
    }
    const auto before = Entries(small);
    const std::string oldFirst = ReadBytes(small + "/savedata1.ini");
    ASSERT_NE(oldFirst, "<missing>");
    form->SetText(Control::Text8, "edited");

    SaveAllSettings(*monitor);

    ExpectRefusedAndUnchanged(ENOSPC, small + "/savedata1.ini");
    EXPECT_EQ(Entries(small), before);  // no temporaries left
    EXPECT_EQ(ReadBytes(small + "/savedata1.ini"), oldFirst);
}

}  // namespace
}  // namespace rm
