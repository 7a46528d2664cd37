// A settings folder at a path the test chooses; Create only reports what the
// test sets, it makes nothing.
#pragma once

#include <string>

#include "platform/linux/SettingsFolder.h"

namespace rm {

class FakeSettingsFolder : public SettingsFolder {
  public:
    std::string path = "/opt/router-monitor";
    std::string defaults;     // empty: the settings live in the program folder
    std::string createError;  // non-empty: Create fails with it
    int created = 0;
    std::string Path() override { return path; }
    bool Create(std::string* error) override {
        ++created;
        if (createError.empty()) return true;
        *error = createError;
        return false;
    }
    std::string DefaultsPath() override { return defaults; }
};

}  // namespace rm
