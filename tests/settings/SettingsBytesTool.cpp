// rm-settings-bytes: the settings files of one build, written and read through
// that build's own files and codec, so that the Linux and the Windows builds
// can be held against each other byte for byte.
//   rm-settings-bytes save FOLDER TEXTS   the fifteen UTF-8 lines of TEXTS, in
//                                         the order of the stored settings,
//                                         saved into FOLDER all together
//   rm-settings-bytes load FOLDER         the fifteen values read back, one
//                                         UTF-8 line each
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/SettingsStore.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "platform/windows/WindowsPlatform.h"
#else
#include "platform/linux/LinuxPlatform.h"
#endif

namespace {

struct Store {
#ifdef _WIN32
    explicit Store(const std::string& folder)
        : files(rm::MakeWindowsSettingsFilesIn(folder, {})), codec(rm::MakeWindowsNarrowCodec()) {}
#else
    explicit Store(const std::string& folder)
        : location(rm::MakeLinuxSettingsFolder(folder, folder)),
          files(rm::MakeLinuxSettingsFiles(*location)),
          codec(rm::MakeIconvNarrowCodec()) {}
    std::unique_ptr<rm::SettingsFolder> location;
#endif
    std::unique_ptr<rm::SettingsFiles> files;
    std::unique_ptr<rm::NarrowCodec> codec;
};

int Fail(const char* what, const rm::SettingsFailure& f) {
    std::fprintf(stderr, "rm-settings-bytes: %s: %s: %s\n", what, f.path.c_str(), f.error.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string verb = argc > 1 ? argv[1] : "";
    if (!((verb == "save" && argc == 4) || (verb == "load" && argc == 3))) {
        std::fprintf(stderr, "usage: rm-settings-bytes save FOLDER TEXTS | load FOLDER\n");
        return 2;
    }
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);  // the lines as they are, no CR added
#endif
    Store store(argv[2]);
    rm::SettingsFailure failure;
    if (verb == "save") {
        std::ifstream in(argv[3], std::ios::binary);
        std::vector<rm::SettingsWrite> writes;
        std::string line;
        for (const auto& s : rm::StoredSettings()) {
            if (!std::getline(in, line)) {
                std::fprintf(stderr, "rm-settings-bytes: %s holds fewer than 15 lines\n", argv[3]);
                return 1;
            }
            writes.push_back({s.fileName, rm::SettingsFileBytes(*store.codec, line)});
        }
        if (!store.files->WriteAll(writes, &failure)) return Fail("save", failure);
        return 0;
    }
    std::vector<std::string> names;
    for (const auto& s : rm::StoredSettings()) names.emplace_back(s.fileName);
    if (!store.files->Prepare(names, &failure)) return Fail("folder", failure);
    for (const auto& s : rm::StoredSettings()) {
        std::string value;
        if (!store.files->ReadValue(s.fileName, 4096, &value, &failure))
            return Fail("load", failure);
        std::printf("%s\n", store.codec->Decode(value).c_str());
    }
    return 0;
}
