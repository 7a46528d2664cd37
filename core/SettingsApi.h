// The settings files behind two small interfaces: the folder's files, read one
// by one and written all together, and the codec of their narrow text (code
// page 936). Linux versions in platform/linux.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace rm {

// What went wrong with a settings file or the folder that holds them.
struct SettingsFailure {
    std::string path;           // the file, or the folder or its lock when those failed
    std::string error;          // the system's error or the reason in words
    bool atFolder = false;      // the folder (or its lock) failed: nothing was read or written
    bool someReplaced = false;  // a save failed after other files had been replaced
    bool busy = false;          // another save holds the folder: nothing done, try again
};

struct SettingsWrite {
    std::string fileName;
    std::string bytes;
};

// The settings folder of the running user and its files.
class SettingsFiles {
  public:
    virtual ~SettingsFiles() = default;
    // Makes the folder ready to load `names` from: created when missing, and
    // missing files filled from the defaults shipped with the program.
    virtual bool Prepare(const std::vector<std::string>& names, SettingsFailure* failure) = 0;
    // The last line of the file `name` (its first `keepBytes` bytes), only
    // when no other user could have written the file.
    virtual bool ReadValue(const std::string& name, size_t keepBytes, std::string* value,
                           SettingsFailure* failure) = 0;
    // Replaces every file with its bytes, all or nothing. Never waits: while
    // another save holds the folder it fails at once with `busy` set.
    virtual bool WriteAll(const std::vector<SettingsWrite>& files, SettingsFailure* failure) = 0;
};

// Narrow text of the settings files (code page 936, GBK, with GB18030 for what
// GBK lacks) to and from UTF-8.
class NarrowCodec {
  public:
    virtual ~NarrowCodec() = default;
    // Bytes that are no character become U+FFFD, one per byte.
    virtual std::string Decode(std::string_view narrow) = 0;
    virtual std::string Encode(std::string_view utf8) = 0;
};

}  // namespace rm
