// One fake of every outside service, and a Services already wired to them. A test
// that needs a real implementation for some member points just that member at it.
// Neither copyable nor movable: `services` holds the addresses of the fakes beside it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/Services.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeHttp.h"
#include "platform/fake/FakeNetwork.h"
#include "platform/fake/FakeScanner.h"
#include "platform/fake/FakeTray.h"

namespace rm {

// Settings files in memory, by name; a name missing from `files` cannot be read.
class FakeSettingsFiles : public SettingsFiles {
  public:
    std::map<std::string, std::string> files;
    std::vector<std::vector<SettingsWrite>> saves;
    SettingsFailure prepareFailure, writeFailure;
    bool failPrepare = false, failWrite = false;

    bool Prepare(const std::vector<std::string>&, SettingsFailure* failure) override {
        if (failPrepare) *failure = prepareFailure;
        return !failPrepare;
    }
    bool ReadValue(const std::string& name, size_t keepBytes, std::string* value,
                   SettingsFailure* failure) override {
        auto it = files.find(name);
        if (it == files.end()) {
            *failure = {"/settings/" + name, "missing", false, false};
            return false;
        }
        std::string line = it->second;
        if (line.size() >= 2 && line.ends_with("\r\n")) line.resize(line.size() - 2);
        *value = line.substr(0, keepBytes);
        return true;
    }
    bool WriteAll(const std::vector<SettingsWrite>& writes, SettingsFailure* failure) override {
        if (failWrite) {
            *failure = writeFailure;
            return false;
        }
        saves.push_back(writes);
        for (const auto& w : writes) files[w.fileName] = w.bytes;
        return true;
    }
};

// UTF-8 both ways: enough for texts the tests keep to ASCII.
class FakeNarrowCodec : public NarrowCodec {
  public:
    std::string Decode(std::string_view narrow) override { return std::string(narrow); }
    std::string Encode(std::string_view utf8) override { return std::string(utf8); }
};

struct FakeServices {
    FakeServices() = default;
    FakeServices(const FakeServices&) = delete;
    FakeServices& operator=(const FakeServices&) = delete;

    FakeArpResolver arp;
    FakeAddressTable addresses;
    FakeSocketLibrary sockets;
    FakeLocalAddress localAddress;
    FakeRangeScanner scanner;
    FakeWindowSystem windows;
    FakeSoundOutput sound;
    FakeProgramLauncher launcher;
    FakeMessageBoxes messages;
    FakeFileDialog fileDialog;
    FakeProgramFolder folder;
    FakeSettingsFiles settings;
    FakeNarrowCodec codec;
    FakeClock clock;
    FakeTrayHost tray;
    FakeHttpClient http;
    FakeTaskPoster poster;

    Services services{.arp = &arp,
                      .addresses = &addresses,
                      .sockets = &sockets,
                      .localAddress = &localAddress,
                      .scanner = &scanner,
                      .windows = &windows,
                      .sound = &sound,
                      .launcher = &launcher,
                      .messages = &messages,
                      .fileDialog = &fileDialog,
                      .folder = &folder,
                      .settings = &settings,
                      .codec = &codec,
                      .clock = &clock,
                      .tray = &tray,
                      .http = &http,
                      .poster = &poster};
};

}  // namespace rm
