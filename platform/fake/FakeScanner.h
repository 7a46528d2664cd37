// A range scanner that adds scripted lines to the list at once, as if every
// answer had arrived during the wait. Each call takes the next scripted sweep
// (the last one repeats); every call is recorded.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "core/RangeScanner.h"

namespace rm {

class FakeRangeScanner : public RangeScanner {
  public:
    struct Call {
        std::string prefix;
        int32_t first, last;
    };
    std::vector<std::vector<std::string>> sweeps;  // lines per sweep
    std::vector<Call> calls;
    std::vector<size_t> scansBegun;  // how many calls came before each BeginScan

    void BeginScan() override { scansBegun.push_back(calls.size()); }

    void Therad(const std::string& prefix, HostList& list, int32_t first, int32_t last) override {
        calls.push_back({prefix, first, last});
        if (sweeps.empty()) return;
        const auto& lines = sweeps[std::min(calls.size() - 1, sweeps.size() - 1)];
        // In the order scripted: each line gets the next host number.
        for (size_t i = 0; i < lines.size(); ++i) list.AddHostEntry(int(i), lines[i]);
    }
};

}  // namespace rm
