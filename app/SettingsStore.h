// The settings store: the fifteen one-line files beside the program that hold
// the texts of the window's stored controls (scan period, range, the download
// manager's title fragment and path, the ten excluded MAC texts).
#pragma once

#include <QLineEdit>
#include <QString>
#include <array>

#include "app/Form1.h"

namespace rm {

// One stored control and the name of its file in the program folder.
struct StoredSetting {
    const char* fileName;
    QLineEdit* control;
};

// The stored controls in the order both operations visit their files: files 1
// to 5, then 10 to 19 (there are no files 6 to 9).
std::array<StoredSetting, 15> StoredSettings(Form1& form);

// The path of a settings file: the program folder, "/" and the file name.
QString SettingsFilePath(const QString& folder, const char* fileName);

// Sets every stored control from its file. A file that is missing or cannot be
// read shows a message box naming it and the system's error and gives false:
// the program cannot start without its settings.
bool LoadAllSettings(Form1& form);

// Writes every stored control's text to its file, all or nothing: on any
// failure (a file made read-only among them) no settings file changes, a
// message box names the file and the system's error, and the window keeps its
// edits. A settings file that is a symbolic link stays one; the file it links
// to gets the value. Temporaries left by a save that was killed are removed.
void SaveAllSettings(Form1& form);

}  // namespace rm
