// The schedules of a raw sweep and the memory of recent answers.
#include "core/SweepSchedule.h"

namespace rm {

std::string_view SweepModeWord(SweepMode mode) {
    switch (mode) {
        case SweepMode::Gentle:
            return "gentle";
        case SweepMode::Monitor:
            return "monitor";
        case SweepMode::Follow:
            return "follow";
        case SweepMode::Thorough:
            break;
    }
    return {};
}

std::optional<SweepMode> ParseSweepModeWord(std::string_view word) {
    if (word == "gentle") return SweepMode::Gentle;
    if (word == "monitor") return SweepMode::Monitor;
    if (word == "follow") return SweepMode::Follow;
    return std::nullopt;
}

SweepTiming SweepTiming::For(SweepMode mode) {
    SweepTiming t;
    switch (mode) {
        case SweepMode::Thorough:
            break;
        case SweepMode::Gentle:
            t.attempts = Ms({0, 600});
            break;
        case SweepMode::Monitor:
            // An address gets one broadcast; a known device that stays silent
            // five unicasts more, which under a tenth lost each way leave
            // about one in twenty thousand unheard.
            t.attempts = Ms({0});
            t.unicasts = Ms({50, 120, 220, 380, 600, 850});
            break;
        case SweepMode::Follow:
            // The first broadcast round asks only the slice, the second the
            // known devices that no unicast reached (a new MAC, or gone); the
            // unicast rounds start at once, as the known devices were not
            // asked yet.
            t.attempts = Ms({0, 600});
            t.unicasts = Ms({0, 50, 120, 220, 380, 600, 850});
            t.sliceOnly = true;
            break;
    }
    return t;
}

void SweepMemory::Heard(uint32_t ip, const MacAddress& mac, SweepClock::time_point when) {
    auto it = entries_.find(ip);
    if (it == entries_.end()) {
        if (entries_.size() >= kMaxEntries) Forget(when);
        if (entries_.size() >= kMaxEntries) return;
        entries_.emplace(ip, Entry{mac, when, std::nullopt});
        return;
    }
    if (it->second.mac != mac) it->second.before = it->second.mac;
    it->second.mac = mac;
    if (when > it->second.heard) it->second.heard = when;
}

bool SweepMemory::WasBefore(uint32_t ip, const MacAddress& mac) const {
    auto it = entries_.find(ip);
    return it != entries_.end() && it->second.before == mac;
}

void SweepMemory::Sighted(uint32_t ip, const MacAddress& mac, SweepClock::time_point when) {
    if (sightings_.size() >= kMaxEntries && !sightings_.contains(ip)) {
        std::erase_if(sightings_,
                      [&](const auto& s) { return when - s.second.when >= kSightingKeep; });
        if (sightings_.size() >= kMaxEntries) return;
    }
    sightings_[ip] = {mac, when};
}

std::optional<MacAddress> SweepMemory::SightingOf(uint32_t ip, SweepClock::time_point now) const {
    auto it = sightings_.find(ip);
    if (it == sightings_.end() || now - it->second.when >= kSightingKeep) return std::nullopt;
    return it->second.mac;
}

bool SweepMemory::MayAsk(uint32_t ip, const MacAddress& mac, SweepClock::time_point now) const {
    return MacOf(ip, now) == mac || SightingOf(ip, now) == mac;
}

void SweepMemory::BeginSweep(bool firstOfScan, size_t addresses) {
    if (firstOfScan || sweepOfScan_ == 0 || addresses != scanAddresses_) {
        scanAddresses_ = addresses;
        scanFrames_ = 0;
        sweepOfScan_ = 1;
        return;
    }
    ++sweepOfScan_;
}

size_t SweepMemory::SliceFor(size_t known) const {
    const int left = kSweepsPerScan - sweepOfScan_ + 1;  // this one included
    if (left <= 0) return 0;
    const double budget = kScanFramesPerAddress * double(scanAddresses_);
    // A known device costs a unicast a sweep, and under loss a retry now and then.
    const double spare = budget - double(scanFrames_) - 1.5 * double(known) * left;
    return spare <= 0 ? 0 : size_t(spare / left);
}

void SweepMemory::Forget(SweepClock::time_point now) {
    std::erase_if(entries_, [&](const auto& e) { return now - e.second.heard >= keep_; });
    std::erase_if(sightings_, [&](const auto& s) { return now - s.second.when >= kSightingKeep; });
}

std::optional<MacAddress> SweepMemory::MacOf(uint32_t ip, SweepClock::time_point now) const {
    auto it = entries_.find(ip);
    if (it == entries_.end() || now - it->second.heard >= keep_) return std::nullopt;
    return it->second.mac;
}

}  // namespace rm
