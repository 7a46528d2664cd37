// A range scanner that adds scripted lines to the list at once, as if every
// answer had arrived during the wait. Each call takes the next scripted sweep
// (the last one repeats); every call is recorded.
#pragma once

#include <QListWidget>
#include <QStringList>
#include <vector>

#include "scanner/RangeScanner.h"

namespace rm {

class FakeRangeScanner : public RangeScanner {
public:
    struct Call {
        QByteArray prefix;
        int32_t first, last;
    };
    std::vector<QStringList> sweeps;  // lines per sweep
    std::vector<Call> calls;

    void Therad(const QByteArray& prefix, QListWidget* list, int32_t first, int32_t last) override {
        calls.push_back({prefix, first, last});
        if (sweeps.empty()) return;
        const QStringList& lines = sweeps[std::min(calls.size() - 1, sweeps.size() - 1)];
        list->addItems(lines);
    }
};

}  // namespace rm
