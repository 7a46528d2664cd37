// LoadAllSettings and SaveAllSettings: the window's side of the settings files.
#include "core/SettingsStore.h"

#include <vector>

namespace rm {

namespace {

constexpr int kStopStyle = 16;         // the load failure ends the program
constexpr int kExclamationStyle = 48;  // the save failure does not
// How long a save waits for another monitor's save of the same folder (a save
// takes milliseconds; one stuck on a dead disk is not waited for).
constexpr uint32_t kBusyWaitMs = 2000;
constexpr uint32_t kBusyRetryMs = 20;

void ShowLoadError(Monitor& m, const SettingsFailure& f) {
    if (f.atFolder) {
        m.services.messages->Show("无法使用设置文件夹：" + f.error + "\n程序无法启动。",
                                  kStopStyle);
    } else {
        m.services.messages->Show(
            "无法读取设置文件 " + f.path + "：" + f.error + "\n程序无法启动。", kStopStyle);
    }
}

}  // namespace

const std::array<StoredSetting, 15>& StoredSettings() {
    static constexpr std::array<StoredSetting, 15> kSettings = {{
        {"savedata1.ini", Control::Text8},
        {"savedata2.ini", Control::Text10},
        {"savedata3.ini", Control::Text11},
        {"savedata4.ini", Control::Text14},
        {"savedata5.ini", Control::Text15},
        {"savedata10.ini", Text9(0)},
        {"savedata11.ini", Text9(1)},
        {"savedata12.ini", Text9(2)},
        {"savedata13.ini", Text9(3)},
        {"savedata14.ini", Text9(4)},
        {"savedata15.ini", Text9(5)},
        {"savedata16.ini", Text9(6)},
        {"savedata17.ini", Text9(7)},
        {"savedata18.ini", Text9(8)},
        {"savedata19.ini", Text9(9)},
    }};
    return kSettings;
}

std::string SettingsFileBytes(NarrowCodec& codec, std::string_view value) {
    return codec.Encode(value) + "\r\n";
}

bool LoadAllSettings(Monitor& m) {
    std::vector<std::string> names;
    for (const auto& s : StoredSettings()) names.emplace_back(s.fileName);
    SettingsFailure failure;
    if (!m.services.settings->Prepare(names, &failure)) {
        ShowLoadError(m, failure);
        return false;
    }
    for (const auto& s : StoredSettings()) {
        std::string value;
        // Only as many bytes as can make the control's longest text (four a
        // character): it would drop the rest anyway.
        const size_t keep = size_t(m.form.MaxLength(s.control)) * 4;
        if (!m.services.settings->ReadValue(s.fileName, keep, &value, &failure)) {
            ShowLoadError(m, failure);
            return false;
        }
        m.form.SetText(s.control, m.services.codec->Decode(value));
    }
    return true;
}

void SaveAllSettings(Monitor& m) {
    std::vector<SettingsWrite> files;
    for (const auto& s : StoredSettings())
        files.push_back({s.fileName, SettingsFileBytes(*m.services.codec, m.form.Text(s.control))});
    if (m.saveUnderWay) return;
    m.saveUnderWay = true;
    SettingsFailure f;
    const uint32_t start = m.services.clock->TimeGetTime();
    bool saved = false;
    for (;;) {
        f = {};
        saved = m.services.settings->WriteAll(files, &f);
        if (saved || !f.busy || m.services.clock->TimeGetTime() - start >= kBusyWaitMs) break;
        m.services.clock->Sleep(kBusyRetryMs);
    }
    m.saveUnderWay = false;
    if (saved) return;
    std::string text;
    if (f.atFolder) {
        text = "无法保存设置：" + f.path + "：" + f.error + "\n设置文件均未改动。";
    } else {
        const std::string outcome =
            f.someReplaced ? "此前的设置文件已保存，其余未改动。" : "设置文件均未改动。";
        text = "无法保存设置文件 " + f.path + "：" + f.error + "\n" + outcome;
    }
    m.services.messages->Show(text, kExclamationStyle);
}

std::string SettingsFolderTip(const std::string& folder) {
    return "设置文件夹：" + folder;
}

}  // namespace rm
