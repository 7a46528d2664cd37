// The settings store: the fifteen one-line files that hold the texts of the
// window's stored controls (scan period, range, the download manager's title
// fragment and path, the ten excluded MAC texts), which file feeds which
// control, and the messages when they cannot be used. The files themselves are
// the SettingsFiles service's, their narrow text the NarrowCodec's.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "core/Monitor.h"

namespace rm {

// One stored control and the name of its file in the settings folder.
struct StoredSetting {
    const char* fileName;
    Control control;
};

// The stored controls in the order both operations visit their files: files 1
// to 5, then 10 to 19 (there are no files 6 to 9).
const std::array<StoredSetting, 15>& StoredSettings();

// The bytes SaveAllSettings writes for a control's text: narrow text and CR LF.
std::string SettingsFileBytes(NarrowCodec& codec, std::string_view value);

// Sets every stored control from its file. The settings folder is made ready
// first (created, and missing files copied from the defaults shipped with the
// program). A file that is missing, cannot be read, or that another user could
// have written shows a message box naming it and why and gives false: the
// program cannot start without its settings, and never with settings another
// user chose.
bool LoadAllSettings(Monitor& m);

// Writes every stored control's text to its file, all or nothing: on any
// failure no settings file changes, a message box names the file and the
// system's error, and the window keeps its edits.
void SaveAllSettings(Monitor& m);

// The tool tip of the save button: where the settings files are, which is not
// always the program folder.
std::string SettingsFolderTip(const std::string& folder);

}  // namespace rm
