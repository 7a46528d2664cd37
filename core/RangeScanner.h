// The range scanner: probes every host number of a range of one /24 by ARP and
// adds one line per host to the window's host list. Its entry point `Therad`
// returns at once; the lines arrive on the UI thread while the caller waits.
#pragma once

#include <cstdint>
#include <string>

namespace rm {

// Where the scanner's lines go (List1): each line with the host number it
// belongs to, so that the list can keep host order. Called on the UI thread.
class HostList {
  public:
    virtual ~HostList() = default;
    virtual void AddHostEntry(int host, const std::string& line) = 0;
};

class RangeScanner {
  public:
    virtual ~RangeScanner() = default;
    // prefix: network prefix text ending in "." (e.g. "192.168.1."), 8-bit text.
    // By 1500 ms after the call every host number first..last (clamped to 0..255)
    // has exactly one line in `list`, holding its MAC text, or
    // "00-00-00-00-00-00" when it did not answer. Lines of an earlier call never
    // land after a later call. `list` outlives the scanner.
    virtual void Therad(const std::string& prefix, HostList& list, int32_t first, int32_t last) = 0;
    // The sweeps of one scan follow: the next Therad is its first. A scanner
    // may ask the later sweeps of a scan less than the first (the devices it
    // found, not every empty address again); the lines it adds are the same.
    virtual void BeginScan() {}
};

}  // namespace rm
