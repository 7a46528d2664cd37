// The range scanner: probes every host number of a range of one /24 by ARP and
// adds one line per host to a list on the window. Its entry point `Therad` returns
// at once; the lines arrive on the UI thread while the caller waits.
#pragma once

#include <QByteArray>
#include <cstdint>

class QListWidget;

namespace rm {

class RangeScanner {
  public:
    virtual ~RangeScanner() = default;
    // prefix: network prefix text ending in "." (e.g. "192.168.1."), 8-bit text.
    // By 1500 ms after the call every host number first..last (clamped to 0..255)
    // has exactly one line in `list`, holding its MAC text, or
    // "00-00-00-00-00-00" when it did not answer. Lines of an earlier call never
    // land after a later call.
    virtual void Therad(const QByteArray& prefix, QListWidget* list, int32_t first,
                        int32_t last) = 0;
};

}  // namespace rm
