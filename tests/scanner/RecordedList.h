// A host list as the window's List1 keeps it: each line inserted in host order
// by the host number the scanner gives with it. A QObject, as the window's list
// is, so that the scanner can tell when it has gone away.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <vector>

#include "core/RangeScanner.h"

namespace rm {

class RecordedList : public QObject, public HostList {
  public:
    struct Entry {
        int host;
        QString line;
    };

    void AddHostEntry(int host, const std::string& line) override {
        size_t row = entries_.size();
        while (row > 0 && entries_[row - 1].host >= host) --row;
        entries_.insert(entries_.begin() + long(row), {host, QString::fromStdString(line)});
    }

    void clear() { entries_.clear(); }
    int count() const { return int(entries_.size()); }
    const Entry& entry(int row) const { return entries_.at(size_t(row)); }
    QStringList Lines() const {
        QStringList out;
        for (const Entry& e : entries_) out << e.line;
        return out;
    }

  private:
    std::vector<Entry> entries_;
};

}  // namespace rm
