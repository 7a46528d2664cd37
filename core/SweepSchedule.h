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
    // The first sweep of the monitor's scan: every address once by broadcast,
    // and the devices that answered a recent sweep and are silent now asked
    // again and again by unicast to their last MAC. Only the addresses that
    // are there get the retries.
    Monitor,
    // A later sweep of the same scan: the known devices by unicast, the
    // devices heard asking or announcing by unicast to the MAC they spoke
    // from, and a slice of the silent addresses by broadcast, as far as the
    // scan's frame budget (SweepMemory::SliceFor) allows.
    Follow,
};

// The scan of the monitor's cycle makes at most this many sweeps.
inline constexpr int kSweepsPerScan = 10;

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
    // A later sweep of a scan: the first broadcast round asks only the slice
    // of the silent addresses that the scan's budget allows, not every one;
    // the later ones only the known devices still silent.
    bool sliceOnly = false;

    // The schedule of `mode` with the 1150 ms deadline. The second broadcast
    // comes late, after the slow answers of devices waking from power save;
    // the unicasts fill the window before and after it.
    static SweepTiming For(SweepMode mode);
};

// The devices that answered recent sweeps of one network: address, MAC, when.
// It learns only from replies that proved themselves, so a unicast request
// goes only to a MAC that answered for that address (or to one heard speaking
// for it, a sighting, which is asked but never counted by itself). A device
// silent for `keep` is forgotten: a MAC whose device left is not asked for
// long. It also keeps the account of the running scan: which sweep, how many
// frames went out, which slice of the silent addresses comes next.
class SweepMemory {
  public:
    static constexpr std::chrono::minutes kKeep{3};
    // The range of one helper is one /24: at most 256 addresses are ever held.
    static constexpr size_t kMaxEntries = 256;

    explicit SweepMemory(SweepClock::duration keep = kKeep) : keep_(keep) {}

    // A sighting lasts this long, enough for the sweep that follows it.
    static constexpr std::chrono::seconds kSightingKeep{30};
    // A scan's budget: frames per address of its range, all sweeps together.
    static constexpr double kScanFramesPerAddress = 1.5;

    // A proven answer of `ip` (network byte order) from `mac` at `when`; a new
    // MAC replaces the old one, which is kept as the one before.
    void Heard(uint32_t ip, const MacAddress& mac, SweepClock::time_point when);
    // Drops every device not heard since `now - keep`.
    void Forget(SweepClock::time_point now);
    // The last MAC of `ip`, when it answered within `keep` of `now`.
    std::optional<MacAddress> MacOf(uint32_t ip, SweepClock::time_point now) const;
    // True when `mac` is the MAC that `ip` answered from before its last one:
    // an address whose MAC flips back is a conflict, not a change.
    bool WasBefore(uint32_t ip, const MacAddress& mac) const;
    size_t size() const { return entries_.size(); }

    // `ip` was heard asking or announcing from `mac`.
    void Sighted(uint32_t ip, const MacAddress& mac, SweepClock::time_point when);
    std::optional<MacAddress> SightingOf(uint32_t ip, SweepClock::time_point now) const;
    void DropSighting(uint32_t ip) { sightings_.erase(ip); }
    // Whether a unicast request for `ip` may go to `mac`: its known MAC or a
    // fresh sighting's.
    bool MayAsk(uint32_t ip, const MacAddress& mac, SweepClock::time_point now) const;

    // The scan's account. A first sweep starts a new one over `addresses`
    // addresses; a later one counts on.
    void BeginSweep(bool firstOfScan, size_t addresses);
    void Spent(size_t frames) { scanFrames_ += frames; }
    size_t scanFrames() const { return scanFrames_; }
    // How many silent addresses a later sweep may ask by broadcast: what the
    // budget leaves after the frames spent and the unicasts that the `known`
    // devices need in every sweep still to come (with retries under loss),
    // shared among those sweeps.
    size_t SliceFor(size_t known) const;
    // Where the next slice begins (an index into the sweep's hosts), and past
    // where the last one ended.
    size_t sliceCursor() const { return sliceCursor_; }
    void MoveSliceCursor(size_t to) { sliceCursor_ = to; }

  private:
    struct Entry {
        MacAddress mac;
        SweepClock::time_point heard;
        std::optional<MacAddress> before;
    };
    struct Sighting {
        MacAddress mac;
        SweepClock::time_point when;
    };
    SweepClock::duration keep_;
    std::unordered_map<uint32_t, Entry> entries_;
    std::unordered_map<uint32_t, Sighting> sightings_;
    size_t scanAddresses_ = 0;
    size_t scanFrames_ = 0;
    int sweepOfScan_ = 0;  // 1 for the first
    size_t sliceCursor_ = 0;
};

}  // namespace rm
