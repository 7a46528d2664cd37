// LoadAllSettings and SaveAllSettings: the window's side of the settings files.
// The file work itself (checks, tail reads, locked saves) is in SettingsIo.
#include "app/SettingsStore.h"

#include <vector>

#include "app/SettingsFile.h"
#include "app/SettingsIo.h"

namespace rm {

namespace {

constexpr int kStopStyle = 16;         // the load failure ends the program
constexpr int kExclamationStyle = 48;  // the save failure does not

void ShowFileError(Form1& form, const QString& text, int style) {
    if (form.services.messages != nullptr) form.services.messages->Show(text, style);
}

QString SettingsFolderOf(Form1& form) {
    return form.services.settings != nullptr ? form.services.settings->Path() : QString();
}

void ShowLoadError(Form1& form, const QString& path, const QString& why) {
    ShowFileError(form, QStringLiteral("无法读取设置文件 %1：%2\n程序无法启动。").arg(path, why),
                  kStopStyle);
}

// A new settings folder gets the files the program ships with before the
// first load; a folder that is the program folder itself already has them.
bool PrepareSettingsFolder(Form1& form, const std::array<StoredSetting, 15>& settings) {
    SettingsFolder* folder = form.services.settings;
    if (folder == nullptr) return true;
    QString error;
    if (!folder->Create(&error)) {
        ShowFileError(form, QStringLiteral("无法使用设置文件夹：%1\n程序无法启动。").arg(error),
                      kStopStyle);
        return false;
    }
    const QString defaults = folder->DefaultsPath();
    if (defaults.isEmpty()) return true;
    std::vector<const char*> names;
    for (const auto& s : settings) names.push_back(s.fileName);
    QString failedPath;
    if (!CopyMissingSettingsFiles(defaults, folder->Path(), names, &failedPath, &error)) {
        ShowLoadError(form, failedPath, error);
        return false;
    }
    return true;
}

}  // namespace

std::array<StoredSetting, 15> StoredSettings(Form1& form) {
    return {{
        {"savedata1.ini", form.Text8},
        {"savedata2.ini", form.Text10},
        {"savedata3.ini", form.Text11},
        {"savedata4.ini", form.Text14},
        {"savedata5.ini", form.Text15},
        {"savedata10.ini", form.Text9[0]},
        {"savedata11.ini", form.Text9[1]},
        {"savedata12.ini", form.Text9[2]},
        {"savedata13.ini", form.Text9[3]},
        {"savedata14.ini", form.Text9[4]},
        {"savedata15.ini", form.Text9[5]},
        {"savedata16.ini", form.Text9[6]},
        {"savedata17.ini", form.Text9[7]},
        {"savedata18.ini", form.Text9[8]},
        {"savedata19.ini", form.Text9[9]},
    }};
}

QString SettingsFilePath(const QString& folder, const char* fileName) {
    return folder + QLatin1Char('/') + QString::fromLatin1(fileName);
}

bool LoadAllSettings(Form1& form) {
    const auto settings = StoredSettings(form);
    if (!PrepareSettingsFolder(form, settings)) return false;
    const QString folder = SettingsFolderOf(form);
    for (const auto& s : settings) {
        const QString path = SettingsFilePath(folder, s.fileName);
        QByteArray value;
        QString error;
        // Only as many bytes as can make the control's longest text (four a
        // character): it would drop the rest anyway.
        if (!ReadSettingsValue(path, size_t(s.control->maxLength()) * 4, &value, &error)) {
            ShowLoadError(form, path, error);
            return false;
        }
        s.control->setText(DecodeNarrow(value));
    }
    return true;
}

void SaveAllSettings(Form1& form) {
    std::vector<SettingsWrite> files;
    for (const auto& s : StoredSettings(form))
        files.push_back({s.fileName, SettingsFileBytes(s.control->text())});
    SaveFailure failure;
    if (WriteSettingsFiles(SettingsFolderOf(form), files, &failure)) return;
    QString text;
    if (failure.atFolder) {
        text = QStringLiteral("无法保存设置：%1：%2\n设置文件均未改动。")
                   .arg(failure.path, failure.error);
    } else {
        const QString outcome = failure.someReplaced
                                    ? QStringLiteral("此前的设置文件已保存，其余未改动。")
                                    : QStringLiteral("设置文件均未改动。");
        text =
            QStringLiteral("无法保存设置文件 %1：%2\n%3").arg(failure.path, failure.error, outcome);
    }
    ShowFileError(form, text, kExclamationStyle);
}

}  // namespace rm
