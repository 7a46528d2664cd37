// What a raw sweep asks, when, and of whom: the three schedules and the memory
// of devices that answered recent sweeps. Plain C++ over addresses and times,
// so that the same rules hold wherever the frames go out.
#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/ArpFrame.h"

namespace rm {

using SweepClock = std::chrono::steady_clock;

// How hard a sweep asks.
enum class SweepMode {
    // Every silent address up to seven times, by broadcast: one sweep alone
    // finds nearly every host under heavy loss. router-monitor-scan's default.
    Thorough,
    // Every address once, the silent ones again late in the window: two
    // broadcasts per address at most, no memory.
    Gentle,
    // The monitor's: two broadcasts like Gentle, and the devices that answered
    // a recent sweep and are silent now asked again and again by unicast to
    // their last MAC. Only the addresses that are there get the retries.
    Monitor,
};

// The word that names a mode on router-monitor-arp's `sweep` line (none for
// Thorough, the mode of a line without one), and back.
std::string_view SweepModeWord(SweepMode mode);
std::optional<SweepMode> ParseSweepModeWord(std::string_view word);

// When requests go out, relative to the start of the sweep, and when the sweep
// gives up on the silent hosts. With a tenth of the frames lost each way a
// single request misses a host in five, so a present host needs several: six
// leave about one in twenty thousand unheard.
struct SweepTiming {
    static std::vector<std::chrono::milliseconds> Ms(std::initializer_list<int> values) {
        return {values.begin(), values.end()};
    }
    // Broadcast rounds: every address still silent.
    std::vector<std::chrono::milliseconds> attempts = Ms({0, 50, 120, 220, 380, 600, 850});
    // Unicast rounds: every silent address that the memory knows, to its last MAC.
    std::vector<std::chrono::milliseconds> unicasts;
    std::chrono::milliseconds deadline{1150};
    // Requests go out in bursts of this many, a millisecond apart: a few
    // thousand frames a second, which neither a switch nor the kernel's input
    // backlog of a busy machine drops, and a /24 in about 60 ms.
    size_t burst = 4;

    // The schedule of `mode` with the 1150 ms deadline. The second broadcast
    // comes late, after the slow answers of devices waking from power save;
    // the unicasts fill the window before and after it.
    static SweepTiming For(SweepMode mode);
};

// The devices that answered recent sweeps of one network: address, MAC, when.
// It learns only from replies that proved themselves, so a unicast request
// goes only to a MAC that answered for that address. A device silent for
// `keep` is forgotten: a MAC whose device left is not asked for long.
class SweepMemory {
  public:
    static constexpr std::chrono::minutes kKeep{3};
    // The range of one helper is one /24: at most 256 addresses are ever held.
    static constexpr size_t kMaxEntries = 256;

    explicit SweepMemory(SweepClock::duration keep = kKeep) : keep_(keep) {}

    // A proven answer of `ip` (network byte order) from `mac` at `when`; a new
    // MAC replaces the old one.
    void Heard(uint32_t ip, const MacAddress& mac, SweepClock::time_point when);
    // Drops every device not heard since `now - keep`.
    void Forget(SweepClock::time_point now);
    // The last MAC of `ip`, when it answered within `keep` of `now`.
    std::optional<MacAddress> MacOf(uint32_t ip, SweepClock::time_point now) const;
    size_t size() const { return entries_.size(); }

  private:
    struct Entry {
        MacAddress mac;
        SweepClock::time_point heard;
    };
    SweepClock::duration keep_;
    std::unordered_map<uint32_t, Entry> entries_;
};

}  // namespace rm
