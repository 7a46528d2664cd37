// The settings files on a real folder of the Wine prefix: where they go, the
// value rules of the Linux build, and the all-or-nothing save.
#include <aclapi.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/windows/WideText.h"
#include "platform/windows/WindowsPlatform.h"

namespace rm {
namespace {

std::string ReadAll(const std::string& path) {
    HANDLE h = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string out(1 << 20, '\0');
    DWORD got = 0;
    ReadFile(h, out.data(), DWORD(out.size()), &got, nullptr);
    CloseHandle(h);
    out.resize(got);
    return out;
}

void WriteRaw(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                           nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD done = 0;
    WriteFile(h, bytes.data(), DWORD(bytes.size()), &done, nullptr);
    CloseHandle(h);
}

bool Exists(const std::string& path) {
    return GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Temporaries and the save lock left in `dir`.
int Leftovers(const std::string& dir) {
    int n = 0;
    for (const char* pattern : {"\\*.new-*", "\\.rm-save.lock"}) {
        WIN32_FIND_DATAW found;
        HANDLE h = FindFirstFileW(WideFromUtf8(dir + pattern).c_str(), &found);
        if (h == INVALID_HANDLE_VALUE) continue;
        do ++n;
        while (FindNextFileW(h, &found));
        FindClose(h);
    }
    return n;
}

// Lets Everyone write `path` (under Wine this becomes the Unix mode's o+w).
void LetEveryoneWrite(const std::string& path) {
    const std::wstring wide = WideFromUtf8(path);
    PACL old = nullptr, updated = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, &old, nullptr, &sd),
              DWORD(ERROR_SUCCESS));
    EXPLICIT_ACCESSW entry{};
    entry.grfAccessPermissions = GENERIC_ALL;
    entry.grfAccessMode = GRANT_ACCESS;
    entry.grfInheritance = NO_INHERITANCE;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    wchar_t everyone[] = L"Everyone";
    entry.Trustee.ptstrName = everyone;
    ASSERT_EQ(SetEntriesInAclW(1, &entry, old, &updated), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(SetNamedSecurityInfoW(const_cast<wchar_t*>(wide.c_str()), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION, nullptr, nullptr, updated, nullptr),
              DWORD(ERROR_SUCCESS));
    LocalFree(updated);
    LocalFree(sd);
}

// A folder of its own under the prefix's temporary folder, removed afterwards.
class SettingsFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, temp);
        root = Utf8FromWide(temp) + "rm-settings-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryW(WideFromUtf8(root).c_str(), nullptr);
        program = root + "\\程序";
        user = root + "\\用户";
        CreateDirectoryW(WideFromUtf8(program).c_str(), nullptr);
    }
    void TearDown() override {
        // Two levels are all the tests make.
        for (const std::string& dir : {program, user, root}) {
            WIN32_FIND_DATAW found;
            HANDLE h = FindFirstFileW(WideFromUtf8(dir + "\\*").c_str(), &found);
            if (h != INVALID_HANDLE_VALUE) {
                do {
                    DeleteFileW((WideFromUtf8(dir) + L"\\" + found.cFileName).c_str());
                } while (FindNextFileW(h, &found));
                FindClose(h);
            }
        }
        RemoveDirectoryW(WideFromUtf8(program).c_str());
        RemoveDirectoryW(WideFromUtf8(user).c_str());
        RemoveDirectoryW(WideFromUtf8(root).c_str());
    }
    std::string root, program, user;
};

TEST_F(SettingsFolderTest, AWritableProgramFolderHoldsTheSettingsItself) {
    std::string used;
    auto files = MakeWindowsSettingsFiles(program, user, &used);
    EXPECT_EQ(used, program);
    WriteRaw(program + "\\router.txt", "192.168.1.1\r\n");
    SettingsFailure failure;
    ASSERT_TRUE(files->Prepare({"router.txt", "ip.txt"}, &failure)) << failure.error;
    EXPECT_FALSE(Exists(user));
    std::string value;
    ASSERT_TRUE(files->ReadValue("router.txt", 100, &value, &failure)) << failure.error;
    EXPECT_EQ(value, "192.168.1.1");
    // No probe file is left behind by the check that the folder can be written.
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(WideFromUtf8(program + "\\.rm-*").c_str(), &found);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
}

TEST_F(SettingsFolderTest, AUserFolderIsFilledFromTheProgramFolderButKeepsItsOwnFiles) {
    WriteRaw(program + "\\router.txt", "10.0.0.1\r\n");
    WriteRaw(program + "\\ip.txt", "10.0.0.\r\n");
    auto files = MakeWindowsSettingsFilesIn(user, program);
    SettingsFailure failure;
    CreateDirectoryW(WideFromUtf8(user).c_str(), nullptr);
    WriteRaw(user + "\\ip.txt", "172.16.0.\r\n");
    ASSERT_TRUE(files->Prepare({"router.txt", "ip.txt", "absent.txt"}, &failure)) << failure.error;
    EXPECT_EQ(ReadAll(user + "\\router.txt"), "10.0.0.1\r\n");
    EXPECT_EQ(ReadAll(user + "\\ip.txt"), "172.16.0.\r\n");
    EXPECT_FALSE(Exists(user + "\\absent.txt"));
    EXPECT_EQ(ReadAll(program + "\\router.txt"), "10.0.0.1\r\n");
}

// What one user of the PC can write never steers another user's monitor: a
// program folder others may change is not used, and neither is a settings
// file others may change.
TEST_F(SettingsFolderTest, FoldersAndFilesOthersMayWriteAreNotUsed) {
    WriteRaw(program + "\\router.txt", "10.0.0.1\r\n");
    LetEveryoneWrite(program);
    std::string used;
    auto files = MakeWindowsSettingsFiles(program, user, &used);
    EXPECT_EQ(used, user);
    SettingsFailure failure;
    ASSERT_TRUE(files->Prepare({"router.txt"}, &failure)) << failure.error;
    std::string value;
    ASSERT_TRUE(files->ReadValue("router.txt", 100, &value, &failure)) << failure.error;
    EXPECT_EQ(value, "10.0.0.1");

    LetEveryoneWrite(user + "\\router.txt");
    EXPECT_FALSE(files->ReadValue("router.txt", 100, &value, &failure));
    EXPECT_EQ(failure.path, user + "\\router.txt");
    EXPECT_NE(failure.error.find("其他用户"), std::string::npos) << failure.error;

    // The user's folder itself opened to everyone: nothing is loaded from it.
    LetEveryoneWrite(user);
    EXPECT_FALSE(files->Prepare({"router.txt"}, &failure));
    EXPECT_TRUE(failure.atFolder);
    EXPECT_EQ(failure.path, user);
}

TEST_F(SettingsFolderTest, TheValueIsTheLastLineCutToItsLength) {
    auto files = MakeWindowsSettingsFilesIn(program, "");
    SettingsFailure failure;
    std::string value;
    const struct {
        std::string content;
        size_t keep;
        std::string value;
    } cases[] = {
        {"first\r\nsecond\r\n", 100, "second"},
        {"first\r\nsecond", 100, "second"},
        {"first\rsecond\r", 100, "second"},
        {"only", 100, "only"},
        {"", 100, ""},
        {"\r\n", 100, ""},
        {"abcdefgh\r\n", 3, "abc"},
        {"x\r\n" + std::string(70000, 'y') + "\r\nlast\r\n", 100, "last"},
        {std::string(70000, 'z') + "\r\ntail", 100, "tail"},
    };
    for (const auto& c : cases) {
        WriteRaw(program + "\\v.txt", c.content);
        ASSERT_TRUE(files->ReadValue("v.txt", c.keep, &value, &failure)) << failure.error;
        EXPECT_EQ(value, c.value) << c.content.substr(0, 30);
    }
    EXPECT_FALSE(files->ReadValue("missing.txt", 100, &value, &failure));
    EXPECT_EQ(failure.path, program + "\\missing.txt");
    EXPECT_FALSE(failure.error.empty());
    EXPECT_FALSE(files->ReadValue("..\\v.txt", 100, &value, &failure));
}

TEST_F(SettingsFolderTest, ASaveReplacesEveryFileOrNone) {
    auto files = MakeWindowsSettingsFilesIn(program, "");
    auto codec = MakeWindowsNarrowCodec();
    WriteRaw(program + "\\a.txt", "old a\r\n");
    WriteRaw(program + "\\b.txt", "old b\r\n");
    SettingsFailure failure;
    const std::string text = codec->Encode("迅雷\xF0\x9F\x98\x80") + "\r\n";
    ASSERT_TRUE(files->WriteAll({{"a.txt", text}, {"b.txt", "2\r\n"}}, &failure)) << failure.error;
    EXPECT_EQ(ReadAll(program + "\\a.txt"), "\xD1\xB8\xC0\xD7\x94\x39\xFC\x36\r\n");
    EXPECT_EQ(ReadAll(program + "\\b.txt"), "2\r\n");
    EXPECT_EQ(Leftovers(program), 0);

    // A file that cannot be written: nothing is replaced, nothing left over.
    ASSERT_FALSE(files->WriteAll({{"a.txt", "new a\r\n"}, {"b\\c.txt", "x\r\n"}}, &failure));
    EXPECT_FALSE(failure.someReplaced);
    EXPECT_EQ(ReadAll(program + "\\a.txt"), "\xD1\xB8\xC0\xD7\x94\x39\xFC\x36\r\n");
    EXPECT_EQ(Leftovers(program), 0);

    // A target that cannot be replaced (a folder holds its name) after another
    // was: the failure says so.
    CreateDirectoryW(WideFromUtf8(program + "\\d.txt").c_str(), nullptr);
    ASSERT_FALSE(files->WriteAll({{"a.txt", "newer a\r\n"}, {"d.txt", "d\r\n"}}, &failure));
    EXPECT_TRUE(failure.someReplaced);
    EXPECT_EQ(failure.path, program + "\\d.txt");
    EXPECT_EQ(Leftovers(program), 0);
    RemoveDirectoryW(WideFromUtf8(program + "\\d.txt").c_str());
}

// Two monitors saving at once: each save lands whole, never a mix of the two.
TEST_F(SettingsFolderTest, SavesAtTheSameTimeTakeTurns) {
    const std::vector<std::string> names = {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"};
    auto save = [&](char mark) {
        auto files = MakeWindowsSettingsFilesIn(program, "");
        std::vector<SettingsWrite> set;
        for (const auto& n : names) set.push_back({n, std::string(200, mark) + "\r\n"});
        int failed = 0;
        for (int round = 0; round < 20; ++round) {
            SettingsFailure failure;
            bool saved;
            // Told at once that the other holds the folder, it tries again, as
            // the window's save does.
            while (!(saved = files->WriteAll(set, &failure)) && failure.busy) Sleep(1);
            if (!saved) ++failed;
        }
        return failed;
    };
    int failedA = 0, failedB = 0;
    std::thread other([&] { failedB = save('b'); });
    failedA = save('a');
    other.join();
    EXPECT_EQ(failedA + failedB, 0);
    const std::string first = ReadAll(program + "\\a.txt");
    for (const auto& n : names) EXPECT_EQ(ReadAll(program + "\\" + n), first) << n;
    EXPECT_EQ(Leftovers(program), 0);
}

// A save never waits inside: another save's hold on the folder is told at
// once, and a folder that cannot be written fails at once, naming the file.
TEST_F(SettingsFolderTest, ASaveThatCannotBeMadeOrMustWaitSaysSoAtOnce) {
    auto files = MakeWindowsSettingsFilesIn(program, "");
    const std::string lock = program + "\\.rm-save.lock";
    auto timed = [&](SettingsFailure* failure) {
        const ULONGLONG start = GetTickCount64();
        EXPECT_FALSE(files->WriteAll({{"a.txt", "a\r\n"}}, failure));
        return GetTickCount64() - start;
    };
    SettingsFailure failure;
    {
        HANDLE held = CreateFileW(WideFromUtf8(lock).c_str(), GENERIC_WRITE, 0, nullptr,
                                  OPEN_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_LT(timed(&failure), 50u);
        EXPECT_TRUE(failure.busy);
        EXPECT_EQ(failure.path, lock);
        CloseHandle(held);
    }
    // Access denied for good (a folder in the lock's place answers so even to
    // root): not busy, an error at once.
    ASSERT_TRUE(CreateDirectoryW(WideFromUtf8(lock).c_str(), nullptr));
    failure = {};
    const ULONGLONG denied = timed(&failure);
    std::printf("a denied save failed in %llu ms\n", denied);
    EXPECT_LT(denied, 100u);
    EXPECT_FALSE(failure.busy);
    EXPECT_EQ(failure.path, lock);
    EXPECT_FALSE(failure.error.empty());
    EXPECT_FALSE(Exists(program + "\\a.txt"));
    RemoveDirectoryW(WideFromUtf8(lock).c_str());

    auto gone = MakeWindowsSettingsFilesIn(root + "\\gone", "");
    failure = {};
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(gone->WriteAll({{"a.txt", "a\r\n"}}, &failure));
    EXPECT_LT(GetTickCount64() - start, 100u);
    EXPECT_EQ(failure.path, root + "\\gone\\.rm-save.lock");
}

}  // namespace
}  // namespace rm
