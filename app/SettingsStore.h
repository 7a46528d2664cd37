// The settings store: the fifteen one-line files that hold the texts of the
// window's stored controls (scan period, range, the download manager's title
// fragment and path, the ten excluded MAC texts), in the running user's
// settings folder (Services::settings).
#pragma once

#include <QLineEdit>
#include <QString>
#include <array>

#include "app/Form1.h"

namespace rm {

// One stored control and the name of its file in the settings folder.
struct StoredSetting {
    const char* fileName;
    QLineEdit* control;
};

// The stored controls in the order both operations visit their files: files 1
// to 5, then 10 to 19 (there are no files 6 to 9).
std::array<StoredSetting, 15> StoredSettings(Form1& form);

// The path of a settings file: the folder, "/" and the file name.
QString SettingsFilePath(const QString& folder, const char* fileName);

// Sets every stored control from its file. The settings folder is made ready
// first (created, and missing files copied from the defaults shipped with the
// program). A file that is missing, cannot be read, or that another user could
// have written (theirs, writable by group or others, a link, not a plain file)
// shows a message box naming it and why and gives false: the program cannot
// start without its settings, and never with settings another user chose.
bool LoadAllSettings(Form1& form);

// Writes every stored control's text to its file, all or nothing: on any
// failure (a file made read-only among them) no settings file changes, a
// message box names the file and the system's error, and the window keeps its
// edits. A settings file that is a symbolic link is replaced by a plain file;
// the file it pointed to is left alone. Saves of two monitors at once take
// turns on the folder's lock file.
void SaveAllSettings(Form1& form);

}  // namespace rm
