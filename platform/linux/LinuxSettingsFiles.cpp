// The settings files of the Linux program: the user's settings folder, checked
// reads of its files, the all-or-nothing save (SettingsIo), and the iconv codec
// of their narrow text (SettingsFile).
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/SettingsFile.h"
#include "platform/linux/SettingsIo.h"

namespace rm {

namespace {

class LinuxSettingsFiles : public SettingsFiles {
  public:
    explicit LinuxSettingsFiles(SettingsFolder& folder) : folder_(folder) {}

    // A new settings folder gets the files the program ships with before the
    // first load; a folder that is the program folder itself already has them.
    bool Prepare(const std::vector<std::string>& names, SettingsFailure* failure) override {
        std::string error;
        if (!folder_.Create(&error)) {
            *failure = {folder_.Path(), error, true, false};
            return false;
        }
        const std::string defaults = folder_.DefaultsPath();
        if (defaults.empty()) return true;
        std::vector<const char*> cnames;
        for (const auto& n : names) cnames.push_back(n.c_str());
        std::string failedPath;
        if (!CopyMissingSettingsFiles(defaults, folder_.Path(), cnames, &failedPath, &error)) {
            *failure = {failedPath, error, false, false};
            return false;
        }
        return true;
    }

    bool ReadValue(const std::string& name, size_t keepBytes, std::string* value,
                   SettingsFailure* failure) override {
        const std::string path = folder_.Path() + '/' + name;
        std::string error;
        if (!ReadSettingsValue(path, keepBytes, value, &error)) {
            *failure = {path, error, false, false};
            return false;
        }
        return true;
    }

    bool WriteAll(const std::vector<SettingsWrite>& files, SettingsFailure* failure) override {
        std::vector<SettingsFileWrite> writes;
        for (const auto& f : files) writes.push_back({f.fileName.c_str(), f.bytes});
        SaveFailure f;
        if (WriteSettingsFiles(folder_.Path(), writes, &f)) return true;
        *failure = {f.path, f.error, f.atFolder, f.someReplaced, f.busy};
        return false;
    }

  private:
    SettingsFolder& folder_;
};

class IconvNarrowCodec : public NarrowCodec {
  public:
    std::string Decode(std::string_view narrow) override { return DecodeNarrow(narrow); }
    std::string Encode(std::string_view utf8) override { return EncodeNarrow(utf8); }
};

}  // namespace

std::unique_ptr<SettingsFiles> MakeLinuxSettingsFiles(SettingsFolder& folder) {
    return std::make_unique<LinuxSettingsFiles>(folder);
}

std::unique_ptr<NarrowCodec> MakeIconvNarrowCodec() {
    return std::make_unique<IconvNarrowCodec>();
}

}  // namespace rm
