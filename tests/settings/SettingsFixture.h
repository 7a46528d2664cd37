// A window wired to fakes, with its settings folder (and program folder) in a
// temporary directory that holds the fifteen settings files the program ships
// with.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "app/Form1.h"
#include "core/SettingsStore.h"
#include "platform/fake/FakeServices.h"

namespace rm {

// The fifteen settings files, in the order both operations visit them.
inline constexpr const char* kAllSettingsFiles[15] = {
    "savedata1.ini",  "savedata2.ini",  "savedata3.ini",  "savedata4.ini",  "savedata5.ini",
    "savedata10.ini", "savedata11.ini", "savedata12.ini", "savedata13.ini", "savedata14.ini",
    "savedata15.ini", "savedata16.ini", "savedata17.ini", "savedata18.ini", "savedata19.ini"};

class SettingsFixture : public ::testing::Test, protected FakeServices {
  protected:
    SettingsFixture() {
        folder.path = dir.path();
        settingsFolder.path = dir.path();
        WriteShippedFiles();
        form = std::make_unique<Form1>(services);
    }

    QString PathOf(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    void WriteFile(const char* name, const QByteArray& bytes) const {
        QFile f(PathOf(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << name;
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    QByteArray ReadFile(const char* name) const {
        QFile f(PathOf(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // "20", "1", "255" and twelve empty values, as installed.
    void WriteShippedFiles() const {
        for (const char* name : kAllFiles) WriteFile(name, "\r\n");
        WriteFile("savedata1.ini", "20\r\n");
        WriteFile("savedata2.ini", "1\r\n");
        WriteFile("savedata3.ini", "255\r\n");
    }

    // Every file's bytes, by name, to show that a failed save changed nothing.
    // The saves' lock file is left out: the first save makes it and it stays.
    std::map<QString, QByteArray> Snapshot() const {
        std::map<QString, QByteArray> all;
        const auto entries = QDir(dir.path())
                                 .entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs |
                                            QDir::NoDotAndDotDot);
        for (const QString& e : entries) {
            if (e == QLatin1String(".savedata.lock")) continue;
            QFile f(dir.filePath(e));
            all[e] = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<not a file>");
        }
        return all;
    }

    static constexpr const auto& kAllFiles = kAllSettingsFiles;

    QTemporaryDir dir;
    std::unique_ptr<Form1> form;
};

}  // namespace rm
