// A settings folder at a path the test chooses; Create only reports what the
// test sets, it makes nothing.
#pragma once

#include <QString>

#include "platform/linux/SettingsFolder.h"

namespace rm {

class FakeSettingsFolder : public SettingsFolder {
  public:
    QString path = QStringLiteral("/opt/router-monitor");
    QString defaults;       // empty: the settings live in the program folder
    QString createError;    // non-empty: Create fails with it
    int created = 0;
    QString Path() override { return path; }
    bool Create(QString* error) override {
        ++created;
        if (createError.isEmpty()) return true;
        *error = createError;
        return false;
    }
    QString DefaultsPath() override { return defaults; }
};

}  // namespace rm
