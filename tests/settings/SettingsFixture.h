// The window's logic on a fake window, wired to fakes but for its settings: the
// Linux settings files and their iconv codec, in a temporary folder (the
// settings folder and the program folder at once) that holds the fifteen files
// the program ships with. No Qt.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "core/Monitor.h"
#include "core/SettingsStore.h"
#include "core/Utf8.h"
#include "platform/fake/FakeForm1.h"
#include "platform/fake/FakeServices.h"
#include "platform/fake/FakeSettingsFolder.h"
#include "platform/linux/LinuxPlatform.h"

namespace rm {

// The fifteen settings files, in the order both operations visit them.
inline constexpr const char* kAllSettingsFiles[15] = {
    "savedata1.ini",  "savedata2.ini",  "savedata3.ini",  "savedata4.ini",  "savedata5.ini",
    "savedata10.ini", "savedata11.ini", "savedata12.ini", "savedata13.ini", "savedata14.ini",
    "savedata15.ini", "savedata16.ini", "savedata17.ini", "savedata18.ini", "savedata19.ini"};

// A new folder under /tmp, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        char name[] = "/tmp/rm-settings-XXXXXX";
        if (::mkdtemp(name) != nullptr) path_ = name;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    bool isValid() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    std::string filePath(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Writes `bytes` to `path`, replacing what was there.
inline bool WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(f.flush());
}

inline std::string ReadBytes(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return "<missing>";
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// What is at `path` itself, a link not followed.
inline bool IsSymLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}
inline bool IsFile(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
inline bool IsDir(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
inline bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The names in a folder, "." and ".." left out, in name order.
inline std::vector<std::string> Entries(const std::string& dir) {
    std::map<std::string, bool> sorted;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..") sorted[n] = true;
        }
        ::closedir(d);
    }
    std::vector<std::string> out;
    for (const auto& [n, _] : sorted) out.push_back(n);
    return out;
}

// A fake window whose text boxes keep at most their longest text, as the real
// window's do.
class BoundedForm1 : public FakeForm1 {
  public:
    void SetText(Control c, const std::string& text) override {
        FakeForm1::SetText(c, std::string(FirstCharacters(text, size_t(MaxLength(c)))));
    }
};

class SettingsFixture : public ::testing::Test, protected FakeServices {
  protected:
    SettingsFixture() {
        folder.path = dir.path();
        settingsFolder.path = dir.path();
        services.settings = files.get();
        services.codec = narrow.get();
        WriteShippedFiles();
        monitor = NewMonitor(&form);
    }

    // A monitor with a window of its own, as at a start of the program.
    std::unique_ptr<Monitor> NewMonitor(BoundedForm1** window) {
        return std::make_unique<Monitor>(services, [window](Form1Events&) {
            auto w = std::make_unique<BoundedForm1>();
            *window = w.get();
            return w;
        });
    }

    std::string PathOf(const std::string& name) const { return dir.filePath(name); }

    void WriteFile(const std::string& name, const std::string& bytes) const {
        ASSERT_TRUE(WriteBytes(PathOf(name), bytes)) << name;
    }

    std::string ReadFile(const std::string& name) const { return ReadBytes(PathOf(name)); }

    // "20", "1", "255" and twelve empty values, as installed.
    void WriteShippedFiles() const {
        for (const char* name : kAllFiles) WriteFile(name, "\r\n");
        WriteFile("savedata1.ini", "20\r\n");
        WriteFile("savedata2.ini", "1\r\n");
        WriteFile("savedata3.ini", "255\r\n");
    }

    // Every entry's bytes, by name, to show that a failed save changed nothing.
    // The saves' lock file is left out: the first save makes it and it stays.
    std::map<std::string, std::string> Snapshot() const {
        std::map<std::string, std::string> all;
        for (const std::string& e : Entries(dir.path())) {
            if (e == ".savedata.lock") continue;
            all[e] = IsFile(PathOf(e)) ? ReadFile(e) : "<not a file>";
        }
        return all;
    }

    static constexpr const auto& kAllFiles = kAllSettingsFiles;

    TempDir dir;
    FakeSettingsFolder settingsFolder;
    std::unique_ptr<SettingsFiles> files = MakeLinuxSettingsFiles(settingsFolder);
    std::unique_ptr<NarrowCodec> narrow = MakeIconvNarrowCodec();
    BoundedForm1* form = nullptr;
    std::unique_ptr<Monitor> monitor;
};

}  // namespace rm
