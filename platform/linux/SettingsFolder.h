// The settings folder of the Linux program: which folder holds a user's
// settings files, made ready before the first load.
#pragma once

#include <string>

namespace rm {

// The folder that holds the settings files of the user running the program:
// the program folder itself when that user alone may write it, otherwise one
// in the user's configuration folder, filled on first start from the settings
// files shipped in the program folder.
class SettingsFolder {
  public:
    virtual ~SettingsFolder() = default;
    // The folder, no trailing separator. Nothing is created.
    virtual std::string Path() = 0;
    // Makes Path() exist (missing folders are created for the user alone) and
    // checks that nobody else may write it. False with the reason in plain
    // words in `error` when it cannot be used.
    virtual bool Create(std::string* error) = 0;
    // The folder whose settings files fill a missing one at Create time, or
    // empty when Path() is the program folder itself and nothing is copied.
    virtual std::string DefaultsPath() = 0;
};

}  // namespace rm
